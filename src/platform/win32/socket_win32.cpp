#include "platform/socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstring>
#include <cwchar>
#include <vector>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

constexpr UINT kLookupMessage = 0x800;
constexpr UINT kSocketMessage = 0x801;

SOCKET AsSocket(SocketId socket) { return static_cast<SOCKET>(socket); }

int LastError() { return WSAGetLastError(); }

// Each owner has a hidden window of its own class, named after its id, that receives
// the socket notifications and the lookup replies.
class Win32Notifier : public SocketNotifier {
 public:
  Win32Notifier(uint32_t id, SocketHandler on_socket, LookupHandler on_lookup)
      : on_socket_(std::move(on_socket)), on_lookup_(std::move(on_lookup)) {
    wchar_t class_name[32];
    std::swprintf(class_name, 32, L"UniSock%08X", id);
    class_name_ = class_name;
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &Win32Notifier::WndProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = class_name_.c_str();
    RegisterClassW(&window_class);
    std::wstring title = std::to_wstring(id);
    // A message-only window: it is never shown and needs no desktop.
    window_ = CreateWindowExW(0, class_name_.c_str(), title.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_) SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~Win32Notifier() override {
    CancelLookup();
    if (window_) {
      SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      DestroyWindow(window_);
    }
    UnregisterClassW(class_name_.c_str(), GetModuleHandleW(nullptr));
  }

  int Select(SocketId socket, int mask) override {
    if (!window_) return WSAENOTSOCK;
    return WSAAsyncSelect(AsSocket(socket), window_, kSocketMessage, mask) == 0 ? 0 : LastError();
  }

  void Post(SocketId socket, int event, int error) override {
    PostMessageW(window_, kSocketMessage, static_cast<WPARAM>(socket),
                 WSAMAKESELECTREPLY(event, error));
  }

  int StartLookup(const std::string& host) override {
    CancelLookup();
    buffer_.assign(MAXGETHOSTSTRUCT, 0);
    lookup_ = WSAAsyncGetHostByName(window_, kLookupMessage, host.c_str(), buffer_.data(),
                                    static_cast<int>(buffer_.size()));
    if (!lookup_) {
      buffer_.clear();
      return LastError();
    }
    return 0;
  }

  void CancelLookup() override {
    if (lookup_) WSACancelAsyncRequest(lookup_);
    lookup_ = nullptr;
    buffer_.clear();
  }

  bool LookupRunning() const override { return lookup_ != nullptr; }

 private:
  static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Win32Notifier*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self && message == kSocketMessage) {
      SocketHandler handler = self->on_socket_;
      handler(static_cast<SocketId>(wparam), WSAGETSELECTEVENT(lparam), WSAGETSELECTERROR(lparam));
      return 0;
    }
    if (self && message == kLookupMessage) {
      self->OnLookupReply(reinterpret_cast<HANDLE>(wparam), WSAGETASYNCERROR(lparam));
      return 0;
    }
    return DefWindowProcW(window, message, wparam, lparam);
  }

  void OnLookupReply(HANDLE handle, int error) {
    if (handle != lookup_) return;  // a cancelled lookup's late answer
    lookup_ = nullptr;
    uint32_t address = kNoAddress;
    if (error == 0) {
      const hostent* entry = reinterpret_cast<const hostent*>(buffer_.data());
      if (entry->h_addr_list && entry->h_addr_list[0])
        std::memcpy(&address, entry->h_addr_list[0], sizeof address);
      else
        error = WSAHOST_NOT_FOUND;
    }
    buffer_.clear();
    LookupHandler handler = on_lookup_;
    handler(error, address);
  }

  SocketHandler on_socket_;
  LookupHandler on_lookup_;
  std::wstring class_name_;
  HWND window_ = nullptr;
  HANDLE lookup_ = nullptr;
  std::vector<char> buffer_;
};

sockaddr_in ToSockaddr(SocketAddress address) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(address.port);
  result.sin_addr.s_addr = address.address;
  return result;
}

SocketAddress FromSockaddr(const sockaddr_in& address) {
  return SocketAddress{address.sin_addr.s_addr, ntohs(address.sin_port)};
}

int BufferOption(SocketId socket, bool udp, int option, int* size) {
  int length = sizeof *size;
  int which = udp ? SO_MAX_MSG_SIZE : option;
  unsigned int value = 0;
  length = sizeof value;
  if (getsockopt(AsSocket(socket), SOL_SOCKET, which, reinterpret_cast<char*>(&value), &length) != 0)
    return LastError();
  // Wine and some stacks answer 0 for the buffer sizes; a piece must hold something.
  *size = value ? static_cast<int>(value) : 8192;
  return 0;
}

// The system's ANSI code page, for peers that speak it; the UTF-8 side goes through
// Widen and Narrow like every other text of the program.
std::string WideToAnsi(const std::wstring& wide) {
  if (wide.empty()) return "";
  int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                   nullptr, 0, nullptr, nullptr);
  if (length <= 0) return "";
  std::string result(length, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), result.data(),
                      length, nullptr, nullptr);
  return result;
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return L"";
  int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0);
  if (length <= 0) return L"";
  std::wstring result(length, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                      length);
  return result;
}

}  // namespace

std::unique_ptr<SocketNotifier> CreateSocketNotifier(uint32_t id,
                                                     SocketNotifier::SocketHandler on_socket,
                                                     SocketNotifier::LookupHandler on_lookup) {
  return std::make_unique<Win32Notifier>(id, std::move(on_socket), std::move(on_lookup));
}

bool StartSockets() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void StopSockets() { WSACleanup(); }

int OpenSocket(bool udp, SocketId* socket) {
  SOCKET created = ::socket(AF_INET, udp ? SOCK_DGRAM : SOCK_STREAM, udp ? IPPROTO_UDP : IPPROTO_TCP);
  if (created == INVALID_SOCKET) return LastError();
  *socket = static_cast<SocketId>(created);
  return 0;
}

int CloseSocketId(SocketId socket) {
  return closesocket(AsSocket(socket)) == 0 ? 0 : LastError();
}

int SetBroadcast(SocketId socket) {
  BOOL on = TRUE;
  return setsockopt(AsSocket(socket), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&on),
                    sizeof on) == 0
             ? 0
             : LastError();
}

int ReceiveBufferSize(SocketId socket, bool udp, int* size) {
  return BufferOption(socket, udp, SO_RCVBUF, size);
}

int SendBufferSize(SocketId socket, bool udp, int* size) {
  return BufferOption(socket, udp, SO_SNDBUF, size);
}

int ConnectSocket(SocketId socket, SocketAddress to) {
  sockaddr_in address = ToSockaddr(to);
  if (connect(AsSocket(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
    return 0;
  return LastError();
}

int BindSocket(SocketId socket, SocketAddress at) {
  sockaddr_in address = ToSockaddr(at);
  return bind(AsSocket(socket), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
             ? 0
             : LastError();
}

int ListenSocket(SocketId socket, int backlog) {
  return listen(AsSocket(socket), backlog) == 0 ? 0 : LastError();
}

int AcceptSocket(SocketId listener, SocketId* accepted, SocketAddress* peer) {
  sockaddr_in address{};
  int length = sizeof address;
  SOCKET socket = accept(AsSocket(listener), reinterpret_cast<sockaddr*>(&address), &length);
  if (socket == INVALID_SOCKET) return LastError();
  *accepted = static_cast<SocketId>(socket);
  *peer = FromSockaddr(address);
  return 0;
}

int SendBytes(SocketId socket, const char* data, int length, int* count) {
  int sent = send(AsSocket(socket), data, length, 0);
  *count = sent == SOCKET_ERROR ? 0 : sent;
  return sent == SOCKET_ERROR ? LastError() : 0;
}

int SendBytesTo(SocketId socket, const char* data, int length, SocketAddress to, int* count) {
  sockaddr_in address = ToSockaddr(to);
  int sent = sendto(AsSocket(socket), data, length, 0, reinterpret_cast<sockaddr*>(&address),
                    sizeof address);
  *count = sent == SOCKET_ERROR ? 0 : sent;
  return sent == SOCKET_ERROR ? LastError() : 0;
}

int ReceiveBytes(SocketId socket, char* data, int length, int* count) {
  int got = recv(AsSocket(socket), data, length, 0);
  *count = got == SOCKET_ERROR ? 0 : got;
  return got == SOCKET_ERROR ? LastError() : 0;
}

int BytesWaiting(SocketId socket, int* count) {
  u_long waiting = 0;
  if (ioctlsocket(AsSocket(socket), FIONREAD, &waiting) != 0) return LastError();
  *count = static_cast<int>(waiting);
  return 0;
}

int PeerAddress(SocketId socket, SocketAddress* peer) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getpeername(AsSocket(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return LastError();
  *peer = FromSockaddr(address);
  return 0;
}

int LocalAddress(SocketId socket, SocketAddress* local) {
  sockaddr_in address{};
  int length = sizeof address;
  if (getsockname(AsSocket(socket), reinterpret_cast<sockaddr*>(&address), &length) != 0)
    return LastError();
  *local = FromSockaddr(address);
  return 0;
}

uint32_t ParseDottedAddress(const std::string& text) { return inet_addr(text.c_str()); }

std::string DottedAddress(uint32_t address) {
  in_addr in{};
  in.s_addr = address;
  return inet_ntoa(in);
}

std::string LocalHostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return "";
  return name;
}

uint32_t ResolveHostNow(const std::string& host, int* error) {
  const hostent* entry = gethostbyname(host.c_str());
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) {
    *error = entry ? WSAHOST_NOT_FOUND : LastError();
    return kNoAddress;
  }
  uint32_t address;
  std::memcpy(&address, entry->h_addr_list[0], sizeof address);
  *error = 0;
  return address;
}

std::string NameOfAddress(SocketAddress address, int* error) {
  sockaddr_in in = ToSockaddr(address);
  char host[256] = {};
  int result = getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host,
                           nullptr, 0, 0);
  *error = result;
  return result == 0 ? std::string(host) : std::string();
}

std::string AnsiToUtf8(const std::string& text) { return Narrow(AnsiToWide(text)); }

std::string Utf8ToAnsi(const std::string& text) { return WideToAnsi(Widen(text)); }

std::string Utf8ToUtf16Bytes(const std::string& text) {
  std::wstring wide = Widen(text);
  return std::string(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t));
}

}  // namespace platform
