// Driving the real windows from a test: services that record what the windows hand to the
// system, an answerer for message boxes, messages that stand for the user's clicks and keys, and
// screenshots.
#pragma once

#include "platform/win32/windows_api.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ui/win32/main_window.h"
#include "ui/win32/ui_services.h"

namespace talvex::testing {

struct ShownBox {
  std::wstring text;
  std::wstring title;
  UINT style = 0;
  int answer = 0;
};

// What the windows handed on, instead of starting programs, switching layouts or opening pages.
struct Recorder {
  std::vector<std::pair<std::string, int>> programs;  // command line, show command
  std::vector<std::pair<std::wstring, UINT>> layouts;
  std::vector<std::pair<HWND, std::string>> addresses;
  std::vector<ShownBox> boxes;  // shown for real, answered by MessageBoxAnswerer
  int windows_closed = 0;
};

// The program's services with the system calls replaced by `recorder`; the drive list and the
// file system are the real ones.
ui::win32::UiServices RecordingServices(Recorder& recorder, std::string source_root);

// Answers every message box this thread shows with `answer` (IDYES, IDNO; IDOK where the box has
// only that) as soon as it is activated, and notes its default button. `first` runs with the box
// before it is answered.
class MessageBoxAnswerer {
 public:
  explicit MessageBoxAnswerer(int answer, std::function<void(HWND box)> first = {});
  ~MessageBoxAnswerer();
  MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
  MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

  int answered() const;
  int default_button() const;  // of the last box, 0 if it had none
};

// Handles every message waiting for this thread; a leftover quit request is dropped.
void Pump();

// The main window over the kit `source_root`, with `recorder`'s services, shown, and with the
// drive `drive` ("t:") chosen in its drive list; null when the window could not be made.
ui::win32::MainWindow* OpenMainWindowOnDrive(Recorder& recorder, const std::string& source_root,
                                             const std::string& drive);

void Click(HWND button);                                // BM_CLICK, as a mouse click does
void MouseClick(HWND control);                          // button down and up inside it
void Type(HWND control, std::wstring_view characters);  // one WM_CHAR per character
// Presses Tab in `window` as the message loop would hand it on.
void PressTab(HWND window);
void ChooseInList(HWND list, std::wstring_view entry_prefix);

std::wstring TextOf(HWND control);
bool IsChecked(HWND box);
RECT RectInParent(HWND control);

void PutOnClipboard(HWND owner, std::wstring_view text);

// Asks `window` to repaint again and again from a thread of its own, about every 20 ms, and
// keeps the longest wait for the repaint: how long the window went unpainted at most. Before each
// request it sends the window a message that does nothing, and keeps the longest wait for the
// answer too: how long the window's thread took no message.
class PaintWatcher {
 public:
  explicit PaintWatcher(HWND window);
  ~PaintWatcher() { Stop(); }
  PaintWatcher(const PaintWatcher&) = delete;
  PaintWatcher& operator=(const PaintWatcher&) = delete;

  void Stop();
  std::chrono::steady_clock::duration longest_wait() const { return longest_wait_; }
  std::chrono::steady_clock::duration longest_answer() const { return longest_answer_; }
  int requests() const { return requests_; }

 private:
  void Watch();

  HWND window_;
  std::atomic<bool> stop_{false};
  std::chrono::steady_clock::duration longest_wait_{};
  std::chrono::steady_clock::duration longest_answer_{};
  int requests_ = 0;
  std::thread thread_;
};

// Saves what the screen shows of `window`, frame included, as a PNG file. Returns whether it
// could.
bool SaveScreenshot(HWND window, const std::string& png_path);

}  // namespace talvex::testing
