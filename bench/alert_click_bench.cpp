// How fast the alert acts on a click: a real alert window under Wine, its "Block" button
// pressed with BM_CLICK from another thread, as a user's click arrives. Not a test; it
// prints figures.
//   alert_click_bench [COUNT]
// For each alert it measures, from the moment the click is sent:
//   handled   the button's click handler has run (SendMessage returns);
//   acted     the alert's wait loop saw the decision (its own clock, 1 ms steps);
//   returned  ShowAlert has returned: the window has slid out and the decision was
//             reported to a community server inside this process.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "net/ServerAddress.h"
#include "support/LoopbackPeer.h"
#include "ui/AlertWindow.h"

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value;
  }();
  return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / frequency.QuadPart;
}

void Print(const char* what, std::vector<double> times) {
  std::sort(times.begin(), times.end());
  double sum = 0;
  for (double time : times)
    sum += time;
  std::printf("%-9s median %7.2f ms   mean %7.2f ms   max %7.2f ms\n", what,
              times[times.size() / 2], sum / times.size(), times.back());
}

}  // namespace

int main(int argc, char** argv) {
  int count = argc > 1 ? std::atoi(argv[1]) : 20;
  if (count < 1)
    count = 20;
  LoopbackPeer community;
  community.SetReply("HTTP/1.0 200 OK\r\n\r\nthanks");
  SetServerAddressForTesting(community.Address());

  std::vector<double> handled, acted, returned;
  StartupEntry entry{"Updater", "C:\\Tools\\updater.exe /quiet",
                     "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", kKindRegistry};
  for (int i = 0; i < count; ++i) {
    frmAlert alert;
    LARGE_INTEGER sent{}, done{};
    std::atomic<DWORD> sent_tick{0};
    std::thread clicker([&] {
      HWND window = nullptr;
      while (!window) {
        window = FindWindowW(L"RunwardenForm", L"Runwarden Alert");
        Sleep(5);
      }
      Sleep(1000);  // the window has slid in and waits
      HWND button = FindWindowExW(window, nullptr, L"Button", L"&Block");
      sent_tick = timeGetTime();
      QueryPerformanceCounter(&sent);
      SendMessageW(button, BM_CLICK, 0, 0);
      QueryPerformanceCounter(&done);
    });
    bool block = false;
    alert.ShowAlert(entry, block, false, "?", "Unknown File", "updater.exe",
                    "0123456789ABCDEF0123456789ABCDEF");
    LARGE_INTEGER back;
    QueryPerformanceCounter(&back);
    clicker.join();
    handled.push_back(Milliseconds(sent, done));
    acted.push_back(static_cast<double>(static_cast<int32_t>(alert.DecisionSeenAt - sent_tick)));
    returned.push_back(Milliseconds(sent, back));
  }
  std::printf("%d alerts, Block pressed with BM_CLICK from another thread\n", count);
  Print("handled", handled);
  Print("acted", acted);
  Print("returned", returned);
  return 0;
}
