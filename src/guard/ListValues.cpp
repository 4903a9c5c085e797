#include "guard/ListValues.h"

#include "app/TextFunctions.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool IsSeparator(char c, ListForm form) {
  return c == ',' || (form == ListForm::kBlankOrComma && IsBlank(c));
}

std::string Trim(const std::string& text) {
  std::string::size_type first = 0, last = text.size();
  while (first < last && IsBlank(text[first]))
    ++first;
  while (last > first && IsBlank(text[last - 1]))
    --last;
  return text.substr(first, last - first);
}

// One item's place in the text: [begin, end) holds it (with the blanks around it in the
// comma form, where blanks do not separate).
struct Span {
  std::string::size_type begin, end;
};

// The part Windows reads: the text up to its first NUL.
std::string::size_type TextEnd(const std::string& bytes) {
  std::string::size_type nul = bytes.find('\0');
  return nul == std::string::npos ? bytes.size() : nul;
}

std::vector<Span> TextSpans(const std::string& bytes, ListForm form) {
  std::vector<Span> spans;
  const std::string::size_type end = TextEnd(bytes);
  std::string::size_type i = 0;
  if (form == ListForm::kComma) {
    for (;;) {
      std::string::size_type comma = bytes.find(',', i);
      if (comma == std::string::npos || comma > end)
        comma = end;
      spans.push_back({i, comma});
      if (comma == end)
        return spans;
      i = comma + 1;
    }
  }
  while (i < end) {
    while (i < end && IsSeparator(bytes[i], form))
      ++i;
    std::string::size_type start = i;
    while (i < end && !IsSeparator(bytes[i], form))
      ++i;
    if (i > start)
      spans.push_back({start, i});
  }
  return spans;
}

// The strings of a REG_MULTI_SZ up to the empty one that ends the list.
std::vector<Span> MultiSpans(const std::string& bytes) {
  std::vector<Span> spans;
  std::string::size_type i = 0;
  while (i < bytes.size()) {
    std::string::size_type nul = bytes.find('\0', i);
    if (nul == std::string::npos)
      nul = bytes.size();
    if (nul == i)
      break;
    spans.push_back({i, nul});
    i = nul + 1;
  }
  return spans;
}

std::vector<Span> Spans(const platform::RegData& data, ListForm form) {
  return form == ListForm::kMulti ? MultiSpans(data.bytes) : TextSpans(data.bytes, form);
}

std::string ItemOf(const std::string& bytes, const Span& span) {
  return Trim(bytes.substr(span.begin, span.end - span.begin));
}

}  // namespace

ListForm ListFormOf(const std::string& value_name, uint32_t type) {
  if (type == platform::kRegMultiSz)
    return ListForm::kMulti;
  if (EqualsIgnoringCase(value_name, "Load") || EqualsIgnoringCase(value_name, "Run"))
    return ListForm::kBlankOrComma;
  return ListForm::kComma;
}

std::vector<std::string> ListItems(const platform::RegData& data, ListForm form) {
  std::vector<std::string> items;
  for (const Span& span : Spans(data, form)) {
    std::string item = ItemOf(data.bytes, span);
    if (!item.empty())
      items.push_back(item);
  }
  return items;
}

bool RemoveListItem(const platform::RegData& data,
                    ListForm form,
                    const std::string& item,
                    platform::RegData* out) {
  const std::string& bytes = data.bytes;
  for (const Span& span : Spans(data, form)) {
    if (!EqualsIgnoringCase(ItemOf(bytes, span), item))
      continue;
    std::string::size_type begin = span.begin, end = span.end;
    if (form == ListForm::kMulti) {
      end = end < bytes.size() ? end + 1 : end;  // with its NUL
    } else if (end < TextEnd(bytes) && IsSeparator(bytes[end], form)) {
      // With the separator after it: a comma, or the run of blanks and commas.
      ++end;
      while (form == ListForm::kBlankOrComma && end < TextEnd(bytes) &&
             IsSeparator(bytes[end], form))
        ++end;
    } else {
      // The last item: with the separator before it.
      while (begin > 0 && IsSeparator(bytes[begin - 1], form)) {
        --begin;
        if (form == ListForm::kComma)
          break;
      }
    }
    *out = data;
    out->bytes = bytes.substr(0, begin) + bytes.substr(end);
    return true;
  }
  return false;
}

platform::RegData AppendListItem(const platform::RegData& data,
                                 ListForm form,
                                 const std::string& item) {
  platform::RegData out = data;
  if (form == ListForm::kMulti) {
    std::vector<Span> spans = MultiSpans(data.bytes);
    std::string::size_type at = spans.empty() ? 0 : spans.back().end + 1;
    std::string head = data.bytes.substr(0, std::min(at, data.bytes.size()));
    if (!head.empty() && head.back() != '\0')
      head += '\0';
    std::string tail = at < data.bytes.size() ? data.bytes.substr(at) : std::string(1, '\0');
    out.bytes = head + item + '\0' + tail;
    return out;
  }
  std::string::size_type end = TextEnd(data.bytes);
  std::string text = data.bytes.substr(0, end);
  std::string rest = end < data.bytes.size() ? data.bytes.substr(end) : std::string(1, '\0');
  std::string trimmed = Trim(text);
  if (!trimmed.empty() && !IsSeparator(trimmed.back(), form))
    text += form == ListForm::kComma ? "," : " ";
  out.bytes = text + item + rest;
  return out;
}

bool HasListItem(const std::vector<std::string>& items, const std::string& item) {
  for (const std::string& one : items)
    if (EqualsIgnoringCase(one, item))
      return true;
  return false;
}
