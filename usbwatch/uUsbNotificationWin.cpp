// Windows source of the USB watcher: a hidden, zero-size tool window of its
// own, registered for the device-interface broadcasts of the USB device
// class.  Windows delivers WM_DEVICECHANGE to it on the GUI thread whenever
// that thread retrieves messages.
#include "uUsbNotificationSource.h"

#include "uUsbNotification.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <dbt.h>

#include <cstring>

static_assert(DBT_DEVICEARRIVAL == DBT_DEVICEARRIVAL_CODE, "arrival event code");
static_assert(DBT_DEVICEREMOVECOMPLETE == DBT_DEVICEREMOVECOMPLETE_CODE, "removal event code");
static_assert(DBT_DEVTYP_DEVICEINTERFACE == DBT_DEVTYP_DEVICEINTERFACE_TYPE, "device type");
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32, "the filter record is 32 bytes");

namespace {

// {A5DCBF10-6530-11D2-901F-00C04FB951ED}: the interface class of every USB
// device, reader or not.
const GUID kUsbDeviceInterfaceClass = {
    0xA5DCBF10, 0x6530, 0x11D2, {0x90, 0x1F, 0x00, 0xC0, 0x4F, 0xB9, 0x51, 0xED}};

const char kWindowClassName[] = "TUsbNotificationWindow";

class TUsbNotificationWin final : public TUsbNotificationSource {
public:
    explicit TUsbNotificationWin(TUsbNotification &watcher);
    ~TUsbNotificationWin() override;

    bool IsListening() const override { return FRegistered; }

private:
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static HINSTANCE ModuleInstance();
    static bool RegisterWindowClass(HINSTANCE instance);
    bool RegisterUsbNotification();

    TUsbNotification &FWatcher;
    HWND FWindowHandle = nullptr;
    bool FRegistered = false;
};

TUsbNotificationWin::TUsbNotificationWin(TUsbNotification &watcher) : FWatcher(watcher)
{
    const HINSTANCE instance = ModuleInstance();
    if (!RegisterWindowClass(instance))
        return;
    // Zero-size, never shown, no parent: only there to receive broadcasts.
    // WndProc stores `this` from the creation parameters.
    FWindowHandle = CreateWindowExA(WS_EX_TOOLWINDOW, kWindowClassName, "", WS_POPUP, 0, 0, 0, 0,
                                    nullptr, nullptr, instance, this);
    if (!FWindowHandle)
        return;
    FRegistered = RegisterUsbNotification();
}

TUsbNotificationWin::~TUsbNotificationWin()
{
    if (!FWindowHandle)
        return;
    // Messages sent while the window goes away no longer reach this object.
    SetWindowLongPtrA(FWindowHandle, GWLP_USERDATA, 0);
    DestroyWindow(FWindowHandle);
    FWindowHandle = nullptr;
}

HINSTANCE TUsbNotificationWin::ModuleInstance()
{
    // The module that holds WndProc, the program or a library linking it.
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&TUsbNotificationWin::WndProc), &module))
        module = GetModuleHandleA(nullptr);
    return module;
}

bool TUsbNotificationWin::RegisterWindowClass(HINSTANCE instance)
{
    // Registered once per module; a second watcher finds it there.
    WNDCLASSA windowClass;
    std::memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = &TUsbNotificationWin::WndProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassA(&windowClass) != 0)
        return true;
    return GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool TUsbNotificationWin::RegisterUsbNotification()
{
    DEV_BROADCAST_DEVICEINTERFACE_A filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_reserved = 0;
    filter.dbcc_classguid = kUsbDeviceInterfaceClass;
    filter.dbcc_name[0] = '\0';
    // The registration lasts as long as the window; its handle is not kept.
    return RegisterDeviceNotificationA(FWindowHandle, &filter, DEVICE_NOTIFY_WINDOW_HANDLE) !=
           nullptr;
}

LRESULT CALLBACK TUsbNotificationWin::WndProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto *create = reinterpret_cast<const CREATESTRUCTA *>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    if (message != WM_DEVICECHANGE)
        return DefWindowProcA(window, message, wParam, lParam);

    // Every WM_DEVICECHANGE is answered with 0 and never reaches the
    // default window procedure.
    auto *self = reinterpret_cast<TUsbNotificationWin *>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return 0;
    // An event code wider than 32 bits is none that the watcher knows.
    const uint32_t eventCode = wParam <= 0xFFFFFFFFu ? static_cast<uint32_t>(wParam) : 0;
    // lParam is the address of a broadcast header only for arrivals and
    // removals, so it is read only when the watcher asks for the type.
    self->FWatcher.WMDeviceChange(eventCode, [lParam]() -> uint32_t {
        const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
        return header ? header->dbch_devicetype : 0;
    });
    return 0;
}

} // namespace

TUsbNotificationSource *TUsbNotificationSource::Create(TUsbNotification &watcher)
{
    return new TUsbNotificationWin(watcher);
}
