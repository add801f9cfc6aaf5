#include "system/desktop_shell.h"

#include <exdisp.h>
#include <objbase.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

#include "base/owner.h"
#include "system/process_launch.h"

namespace {

template <typename T>
void ReleaseCom(T* object) {
  object->Release();
}
template <typename T>
using ComOwner = Owner<T*, ReleaseCom<T>>;

using BstrOwner = Owner<BSTR, SysFreeString>;

// COM for the length of one call, when the thread has none yet.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialised_;
};

VARIANT Text(BSTR text) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  value.bstrVal = text;
  return value;
}

VARIANT Number(int number) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_I4;
  value.lVal = number;
  return value;
}

// The desktop's shell automation object: the desktop window among the
// shell's windows, its browser, its view's background and the application
// object behind it.
bool DesktopShell(ComOwner<IShellDispatch2>& shell) {
  ComOwner<IShellWindows> windows;
  if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                              reinterpret_cast<void**>(windows.Out()))))
    return false;
  VARIANT desktop = Number(CSIDL_DESKTOP);
  VARIANT none;
  VariantInit(&none);
  long window = 0;
  ComOwner<IDispatch> found;
  if (windows.Get()->FindWindowSW(&desktop, &none, SWC_DESKTOP, &window, SWFO_NEEDDISPATCH,
                                  found.Out()) != S_OK ||
      !found.Valid())
    return false;
  ComOwner<IServiceProvider> services;
  if (FAILED(found.Get()->QueryInterface(IID_IServiceProvider,
                                         reinterpret_cast<void**>(services.Out()))))
    return false;
  ComOwner<IShellBrowser> browser;
  if (FAILED(services.Get()->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                          reinterpret_cast<void**>(browser.Out()))))
    return false;
  ComOwner<IShellView> view;
  if (FAILED(browser.Get()->QueryActiveShellView(view.Out())) || !view.Valid()) return false;
  ComOwner<IDispatch> background;
  if (FAILED(view.Get()->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch,
                                       reinterpret_cast<void**>(background.Out()))))
    return false;
  ComOwner<IShellFolderViewDual> folderView;
  if (FAILED(background.Get()->QueryInterface(IID_IShellFolderViewDual,
                                              reinterpret_cast<void**>(folderView.Out()))))
    return false;
  ComOwner<IDispatch> application;
  if (FAILED(folderView.Get()->get_Application(application.Out())) || !application.Valid())
    return false;
  return SUCCEEDED(application.Get()->QueryInterface(IID_IShellDispatch2,
                                                     reinterpret_cast<void**>(shell.Out())));
}

bool OpenByDesktop(const wchar_t* target, const wchar_t* parameters) {
  ComScope com;
  ComOwner<IShellDispatch2> shell;
  if (!DesktopShell(shell)) return false;
  BstrOwner file(SysAllocString(target));
  BstrOwner arguments(SysAllocString(parameters ? parameters : L""));
  BstrOwner folder(SysAllocString(L""));
  BstrOwner verb(SysAllocString(L""));
  if (!file.Valid() || !arguments.Valid() || !folder.Valid() || !verb.Valid()) return false;
  return SUCCEEDED(shell.Get()->ShellExecute(file.Get(), Text(arguments.Get()), Text(folder.Get()),
                                             Text(verb.Get()), Number(SW_SHOWNORMAL)));
}

}  // namespace

ShellStart OpenAsSignedInUser(const wchar_t* target, const wchar_t* parameters) {
  if (!target || !target[0]) return ShellStart::kFailed;
  if (OpenByDesktop(target, parameters)) return ShellStart::kByDesktop;
  return ShellOpen(target, parameters) != 0 ? ShellStart::kFromProgram : ShellStart::kFailed;
}
