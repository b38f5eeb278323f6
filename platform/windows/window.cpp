#include "platform/windows/window.h"

#include <utility>

#include "common/paths.h"
#include "platform/error.h"
#include "platform/windows/process.h"
#include "platform/windows/wide_text.h"

namespace tavrolin::windows {
namespace {

constexpr wchar_t kClassName[] = L"frmMain";
constexpr wchar_t kCaption[] = L"NT Service Template";
constexpr UINT_PTR kTimer1Id = 1;
constexpr int kCommand1Id = 1;
constexpr UINT kServiceStartMessage = WM_APP + 1;
constexpr UINT kServiceStopMessage = WM_APP + 2;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW;

// The form's design, in twips.
constexpr int kClientWidth = 3735;
constexpr int kClientHeight = 2865;
constexpr int kCommand1Left = 2100;
constexpr int kCommand1Top = 660;
constexpr int kCommand1Width = 1395;
constexpr int kCommand1Height = 615;

unsigned WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  static const auto get_dpi_for_window =
      reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi_for_window != nullptr) {
    const UINT dpi = get_dpi_for_window(window);
    if (dpi != 0) return dpi;
  }
  unsigned dpi = 0;
  if (HDC context = GetDC(window)) {
    dpi = static_cast<unsigned>(GetDeviceCaps(context, LOGPIXELSY));
    ReleaseDC(window, context);
  }
  return dpi != 0 ? dpi : 96;
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  static const bool registered = [&] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = kClassName;
    return RegisterClassExW(&window_class) != 0 ||
           GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }();
  if (!registered) {
    throw Error(errnum::kInternal, "Cannot register the window class: " +
                                       SystemErrorText(GetLastError()));
  }
}

// The title of message boxes: the executable's name, as the system shows
// it for programs that choose none of their own.
std::wstring MessageTitle() {
  std::wstring title(FileNameOf(ExecutablePath(), PathStyle::kWindows));
  const std::size_t dot = title.find_last_of(L'.');
  if (dot != std::wstring::npos && dot > 0) title.resize(dot);
  return title;
}

}  // namespace

int TwipsToPixels(int twips, unsigned dpi) {
  return MulDiv(twips, static_cast<int>(dpi), 1440);
}

frmMainWindow::frmMainWindow() = default;

frmMainWindow::~frmMainWindow() {
  if (HWND window = window_.exchange(nullptr)) DestroyWindow(window);
}

HWND frmMainWindow::Handle() {
  if (HWND window = window_.load()) return window;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  RegisterWindowClass(instance, &frmMainWindow::WindowProcedure);
  HWND window = CreateWindowExW(0, kClassName, kCaption, kStyle, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                nullptr, nullptr, instance, this);
  if (window == nullptr) {
    // Without a desktop to show windows on, a message-only window still
    // carries the timer and the service's events.
    window = CreateWindowExW(0, kClassName, kCaption, kStyle, 0, 0, 0, 0,
                             HWND_MESSAGE, nullptr, instance, this);
  }
  if (window == nullptr) {
    throw Error(errnum::kInternal, "Cannot create the window frmMain: " +
                                       SystemErrorText(GetLastError()));
  }
  window_ = window;
  command1_ = CreateWindowExW(
      0, L"BUTTON", L"Command1",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 0, 0, 0, window,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kCommand1Id)), instance,
      nullptr);
  if (command1_ != nullptr) {
    SendMessageW(command1_, WM_SETFONT,
                 reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
  }
  Layout();
  return window;
}

void frmMainWindow::Layout() {
  HWND window = window_.load();
  const unsigned dpi = WindowDpi(window);
  RECT frame{0, 0, TwipsToPixels(kClientWidth, dpi),
             TwipsToPixels(kClientHeight, dpi)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left,
               frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (command1_ != nullptr) {
    MoveWindow(command1_, TwipsToPixels(kCommand1Left, dpi),
               TwipsToPixels(kCommand1Top, dpi),
               TwipsToPixels(kCommand1Width, dpi),
               TwipsToPixels(kCommand1Height, dpi), TRUE);
  }
}

void frmMainWindow::StartTimer(std::chrono::milliseconds interval) {
  // The system's timer keeps its period from the start, whatever the
  // handlers take, and holds at most one WM_TIMER for the window, sent when
  // the queue holds no other message: periods that pass while a handler
  // runs bring one tick as soon as it has returned, then the period goes
  // on (the Linux loop does the same).
  if (SetTimer(Handle(), kTimer1Id, static_cast<UINT>(interval.count()),
               nullptr) == 0) {
    throw Error(errnum::kInternal, "Cannot start the timer Timer1: " +
                                       SystemErrorText(GetLastError()));
  }
}

void frmMainWindow::RunMessageLoop(WindowEvents& events) {
  HWND window = Handle();
  events_ = &events;
  if (visible_) {
    // Their results say whether the window was visible or painted before.
    (void)ShowWindow(window, SW_SHOWNORMAL);
    (void)UpdateWindow(window);
  }
  if (start_pending_) {
    start_pending_ = false;
    Deliver(kServiceStartMessage);
  }
  if (stop_pending_) {
    stop_pending_ = false;
    Deliver(kServiceStopMessage);
  }
  MSG message;
  // Close() posts the quit message that ends the loop.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  events_ = nullptr;
  if (after_close_) after_close_();
  if (escaped_) std::rethrow_exception(std::exchange(escaped_, nullptr));
}

void frmMainWindow::Close() {
  HWND window = window_.exchange(nullptr);
  if (window != nullptr) {
    // The window goes with the process; a timer or window that the system
    // does not take down here is taken down when the process ends.
    (void)KillTimer(window, kTimer1Id);
    (void)DestroyWindow(window);
  }
  // Ends the message loop, also when the window closes from inside a modal
  // loop (a message box), which then ends as well.
  PostQuitMessage(0);
}

void frmMainWindow::ShowMessage(const std::string& text) {
  HWND owner = visible_ ? window_.load() : nullptr;
  MessageBoxW(owner, Utf8ToWide(text).c_str(), MessageTitle().c_str(),
              MB_OK | MB_SETFOREGROUND);
}

// A message that cannot be posted (a full queue) is lost: the start event
// changes nothing, and a stop that the window never sees ends the process
// after the service's bounded stop wait.
void frmMainWindow::PostServiceStart() {
  (void)PostMessageW(window_.load(), kServiceStartMessage, 0, 0);
}

void frmMainWindow::PostServiceStop() {
  (void)PostMessageW(window_.load(), kServiceStopMessage, 0, 0);
}

void frmMainWindow::Deliver(UINT message) {
  if (events_ == nullptr) {
    // A modal message box runs its own loop before the window's loop has
    // started: keep the event until the window's loop runs.
    (message == kServiceStartMessage ? start_pending_ : stop_pending_) = true;
    return;
  }
  try {
    if (message == kServiceStartMessage) {
      bool result = false;
      events_->OnServiceStart(result);
    } else if (message == kServiceStopMessage) {
      events_->OnServiceStop();
    } else if (message == WM_TIMER) {
      events_->OnTimer1();
    } else if (message == WM_COMMAND) {
      events_->OnCommand1Click();
    }
  } catch (...) {
    // Exceptions must not cross the system's code that called the window
    // procedure: end the loop and raise it again there.
    if (!escaped_) escaped_ = std::current_exception();
    Close();
  }
}

LRESULT frmMainWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = window_.load();
  switch (message) {
    case WM_TIMER:
      if (wparam == kTimer1Id && events_ != nullptr) Deliver(WM_TIMER);
      return 0;
    case WM_COMMAND:
      if (LOWORD(wparam) == kCommand1Id && HIWORD(wparam) == BN_CLICKED &&
          events_ != nullptr) {
        Deliver(WM_COMMAND);
      }
      return 0;
    case kServiceStartMessage:
    case kServiceStopMessage:
      Deliver(message);
      return 0;
    case WM_DPICHANGED:
      Layout();
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

LRESULT CALLBACK frmMainWindow::WindowProcedure(HWND window, UINT message,
                                                WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<frmMainWindow*>(
      GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->window_.load() != window) {
    return DefWindowProcW(window, message, wparam, lparam);
  }
  return self->OnMessage(message, wparam, lparam);
}

}  // namespace tavrolin::windows
