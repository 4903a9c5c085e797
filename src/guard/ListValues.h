// Registry values that Windows reads as lists of programs (Winlogon Userinit and Shell,
// BootExecute, Windows\Load, rdpwd StartupPrograms ...): their items, and the value with
// one item taken out or put back, every other byte left as it was.
#pragma once

#include <string>
#include <vector>

#include "platform/registry.h"

// How Windows separates the items of a value.
enum class ListForm {
  kComma,         // "a.exe,b.exe" (blanks around an item are not part of it)
  kBlankOrComma,  // Windows\Load and Windows\Run: blanks or commas, as win.ini had them
  kMulti,         // REG_MULTI_SZ: one item per string
};

// The form of a value of that name and type: a REG_MULTI_SZ is one string per item,
// Load and Run (of the Windows key) take blanks or commas, the rest commas.
ListForm ListFormOf(const std::string& value_name, uint32_t type);

// The items, without the blanks around them; empty items are none.
std::vector<std::string> ListItems(const platform::RegData& data, ListForm form);

// Data without its first item equal to Item (compared without case): the item goes with
// one separator beside it, everything else stays as it was. False when no item is Item.
bool RemoveListItem(const platform::RegData& data,
                    ListForm form,
                    const std::string& item,
                    platform::RegData* out);

// Data with Item added at its end, after a separator of the form's own kind (",", " " or
// a string of its own).
platform::RegData AppendListItem(const platform::RegData& data,
                                 ListForm form,
                                 const std::string& item);

// Whether one of Items is Item, without case.
bool HasListItem(const std::vector<std::string>& items, const std::string& item);
