#include "app/window/folder_pair_dialog.h"

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cwctype>
#include <string>
#include <utility>
#include <vector>

#include "app/application.h"
#include "app/runner/run_report.h"
#include "app/window/main_window.h"
#include "base/path.h"
#include "engine/item_queries.h"
#include "engine/pair_passes.h"
#include "jobfile/preferences.h"
#include "jobfile/settings_file.h"
#include "ui/drawing.h"
#include "ui/message_box.h"
#include "ui/modal_scope.h"
#include "ui/ui_window.h"

namespace {

constexpr wchar_t kDialogClass[] = L"Harborline_MsgBox";
constexpr int kDialogHeight = 200;
constexpr COLORREF kMessageRed = RGB(160, 0, 0);
constexpr wchar_t kSourceBrowseTitle[] = L"Please select the source folder for this backup";
constexpr wchar_t kDestinationBrowseTitle[] =
    L"Please select the destination folder for this backup";
constexpr wchar_t kSubFolderQuestion[] =
    L"Do you want to create a sub-directory with the same name as the source?";
constexpr UINT kLegacyBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

constexpr wchar_t kSourceEmpty[] = L"The \"Source folder\" field is empty!";
constexpr wchar_t kDestinationEmpty[] = L"The \"Destination folder\" field is empty!";
constexpr wchar_t kSameFolders[] = L"The Source and destination folders are the same!";
constexpr wchar_t kSourceInsideDestination[] =
    L"The source folder can not be a sub-folder of the destination!";
constexpr wchar_t kDestinationInsideSource[] =
    L"The destination folder can not be a sub-folder of the source!";

bool IsDriveSpec(const wchar_t* text) {
  return ((text[0] | 0x20) >= L'a' && (text[0] | 0x20) <= L'z') && text[1] == L':';
}

// A reason of the runner as the dialog's message line says it.
const wchar_t* Sentence(const wchar_t* reason, std::wstring& text) {
  text = reason;
  if (!text.empty()) text[0] = static_cast<wchar_t>(towupper(text[0]));
  text += L"!";
  return text.c_str();
}

// true when inner lies below outer (both comparable forms).
bool LiesInside(WideString& inner, WideString& outer) {
  const int32_t n = outer.Length();
  // A drive root ends in its separator already.
  return inner.Length() > n && _wcsnicmp(inner.CStr(), outer.CStr(), n) == 0 &&
         (inner.CStr()[n] == L'\\' || outer.CStr()[n - 1] == L'\\');
}

// The folder's own name: the part after the last backslash; a drive root has
// none.
WideString LastName(const wchar_t* path) {
  WideString name(path);
  TrimTrailingBackslashes(name);
  if (name.Find(L"\\", true) == 0 && IsDriveSpec(name.CStr()) && name.Length() == 2) {
    name.Clear();
    return name;
  }
  FileNamePart(name);
  return name;
}

// A single existing folder: a drop of several names or of a file is not one.
bool IsSingleFolder(const wchar_t* text) {
  if (!text || !text[0] || wcschr(text, L'\n') || wcschr(text, L'\r')) return false;
  WideString probe(text);
  AddLongPathPrefix(probe);
  return PathIsFolder(probe.CStr());
}

WideString Trimmed(const wchar_t* text) {
  WideString result(text ? text : L"");
  TrimFolderText(result);
  return result;
}

bool IsExistingFolder(WideString& path) {
  if (path.Length() == 0) return false;
  WideString probe(path.CStr());
  AddLongPathPrefix(probe);
  return PathIsFolder(probe.CStr());
}

WideString ParentOf(const wchar_t* path) {
  WideString parent(path);
  ParentFolder(parent, false);
  TrimFolderText(parent);
  return parent;
}

void SetRowText(UiWindow& window, int list, int row, int column, const wchar_t* text) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = const_cast<wchar_t*>(text);
  window.SendToControl(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
}

bool RowIsChecked(UiWindow& window, int list, int row) {
  const LRESULT state = window.SendToControl(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
  return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2;
}

class PairDialog {
 public:
  PairDialog(Application& app, int list, int mode)
      : app_(app), main_(app.mainWindow), list_(list), mode_(mode) {}

  void SetInitialValues(const wchar_t* dropped) {
    checked_ = true;
    if (mode_ >= 0) {
      source_ = main_.GetRowText(list_, mode_, kSourceColumn);
      destination_ = main_.GetRowText(list_, mode_, kDestinationColumn);
      base_.Assign(destination_.CStr());
      checked_ = RowIsChecked(main_, list_, mode_);
      showInitial_ = true;
      return;
    }
    const wchar_t* preferences = app_.defaultSettingsPath.CStr();
    WideString destinationParent = HistoryParentFolder(preferences, HistoryKey::LastDestination);
    if (mode_ == kDroppedPair && IsSingleFolder(dropped)) {
      source_ = Trimmed(dropped);
      if (destinationParent.Length() > 1)
        destination_ = ProposeDestination(destinationParent.CStr(), source_.CStr());
      base_.Assign(destination_.Length() > 0 ? destination_.CStr() : destinationParent.CStr());
      showInitial_ = true;
    } else {
      // The history only tells where the Browse buttons start: a folder of
      // another pair shown in the edits would be taken over unseen.
      source_ = HistoryParentFolder(preferences, HistoryKey::LastSource);
      destination_.Assign(destinationParent.CStr());
      base_.Assign(destinationParent.CStr());
    }
  }

  bool Create() {
    if (!CreateSkinnedDialog(main_, dialog_, kDialogClass, kDialogHeight)) return false;
    dialog_.SetFontForNewControls(9, 800, 1);
    dialog_.AddStatic(L"&Source folder (supports drag && drop):", 10, 20, 300, 18);
    dialog_.SetFontForNewControls(9, 400, 1);
    sourceEdit_ = dialog_.AddEdit(38);
    sourceBrowse_ = dialog_.AddButton(L"&Browse...", 380, 37, 60, 21);
    dialog_.SetFontForNewControls(9, 800, 1);
    dialog_.AddStatic(L"&Destination folder (supports drag && drop):", 10, 80, 350, 18);
    dialog_.SetFontForNewControls(9, 400, 1);
    destinationEdit_ = dialog_.AddEdit(98);
    destinationBrowse_ = dialog_.AddButton(L"Bro&wse...", 380, 97, 60, 21);
    dialog_.SetFontForNewControls(9, 800, 1);
    message_ = dialog_.AddStatic(L"", 10, 130, 430, 18, WS_VISIBLE | SS_CENTER);
    dialog_.SetControlTextColour(message_, kMessageRed);
    dialog_.SetFontForNewControls(9, 400, 1);
    checkedBox_ = dialog_.AddCheckBox(L"&Item checked", 50, 170, 100);
    ok_ = dialog_.AddButton(L"&OK", 230, 165, 80, 26, WS_VISIBLE | BS_DEFPUSHBUTTON);
    cancel_ = dialog_.AddButton(L"&Cancel", 340, 165, 80, 26);
    if (showInitial_) {
      dialog_.SetControlText(sourceEdit_, source_.CStr());
      dialog_.SetControlText(destinationEdit_, destination_.CStr());
    }
    dialog_.SetControlState(checkedBox_, checked_ ? kStateCheck : kStateUncheck);
    return true;
  }

  void Show() { dialog_.Present(sourceEdit_); }

  bool Run() {
    UiWindow& events = *main_.events;
    ModalScope modal(dialog_);
    // A Close of the main window ends the dialog and is then the main loop's.
    HeldCloses heldCloses(events);
    UiEvent event;
    while (NextEvent(events, event)) {
      const int code = event.code;
      if (IsCloseOf(event, dialog_) || heldCloses.Hold(event, dialog_)) return false;
      if (event.source != &dialog_ || code == 0) continue;
      if (code == cancel_) return false;
      if (code == ok_) {
        if (Accept()) return true;
      } else if (code == sourceBrowse_) {
        WideString picked;
        if (BrowseForFolder(SourceBrowseStart().CStr(), dialog_.handle, picked, kSourceBrowseTitle))
          ChooseSource(picked.CStr());
      } else if (code == destinationBrowse_) {
        WideString picked;
        if (BrowseForFolder(DestinationBrowseStart().CStr(), dialog_.handle, picked,
                            kDestinationBrowseTitle))
          ChooseDestination(picked.CStr());
      } else if (code == UiEventCode::FilesDropped) {
        const wchar_t* dropped = event.Text();
        if (!IsSingleFolder(dropped)) continue;
        if (event.param1 == sourceEdit_)
          ChooseSource(dropped);
        else if (event.param1 == destinationEdit_)
          ChooseDestination(dropped);
      }
    }
    return false;
  }

  ~PairDialog() { DisposeDialog(main_, dialog_); }

 private:
  // The source Browse starts in the source shown, else where the history
  // points.
  WideString SourceBrowseStart() {
    WideString shown = Trimmed(dialog_.GetControlText(sourceEdit_).CStr());
    if (IsExistingFolder(shown)) return shown;
    return Trimmed(source_.CStr());
  }

  // The destination Browse starts in the destination shown, else in the
  // destination base (the history's), else beside the source; never in the
  // source itself, where a confirming click would pick it as its own backup.
  WideString DestinationBrowseStart() {
    WideString source = Trimmed(dialog_.GetControlText(sourceEdit_).CStr());
    WideString candidates[] = {Trimmed(dialog_.GetControlText(destinationEdit_).CStr()),
                               Trimmed(base_.CStr()), ParentOf(source.CStr())};
    for (WideString& candidate : candidates) {
      if (!IsExistingFolder(candidate)) continue;
      const wchar_t* problem = FolderPairProblem(source.CStr(), candidate.CStr());
      if (problem == kSameFolders || problem == kDestinationInsideSource) continue;
      return std::move(candidate);
    }
    return WideString(L"");
  }

  void ChooseSource(const wchar_t* path) {
    source_ = Trimmed(path);
    dialog_.SetControlText(sourceEdit_, source_.CStr());
    WideString destinationNow = dialog_.GetControlText(destinationEdit_);
    if (source_.Length() >= 3 && destinationNow.Length() == 0 && base_.Length() > 0) {
      WideString proposal = ProposeDestination(base_.CStr(), source_.CStr());
      if (proposal.Length() == 0) return;
      destination_ = std::move(proposal);
      dialog_.SetControlText(destinationEdit_, destination_.CStr());
    }
  }

  void ChooseDestination(const wchar_t* path) {
    WideString chosen = Trimmed(path);
    WideString sourceNow = dialog_.GetControlText(sourceEdit_);
    WideString sourceName = LastName(sourceNow.CStr());
    WideString chosenName = LastName(chosen.CStr());
    if (chosen.Length() > 1 && sourceName.Length() > 0 &&
        !EqualsNoCase(sourceName.CStr(), chosenName.CStr())) {
      ShowWindow(dialog_.handle, SW_HIDE);
      if (ShowMessageBox(main_, kSubFolderQuestion, MessageBoxType::YesNo, 130, 0) ==
          MessageBoxAnswer::Yes) {
        WideString below;
        chosen = std::move(JoinPath(below, chosen.CStr(), sourceName.CStr()));
      }
      Show();
    }
    dialog_.SetControlText(destinationEdit_, chosen.CStr());
    destination_.Assign(chosen.CStr());
    base_.Assign(chosen.CStr());
  }

  bool Accept() {
    WideString sourceTyped = dialog_.GetControlText(sourceEdit_);
    WideString destinationTyped = dialog_.GetControlText(destinationEdit_);
    source_ = Trimmed(sourceTyped.CStr());
    destination_ = Trimmed(destinationTyped.CStr());
    base_.Assign(destination_.CStr());
    const wchar_t* problem = NormalizeFolderPair(source_, destination_);
    if (problem) {
      dialog_.SetControlText(message_, problem);
      return false;
    }
    WriteHistoryFolders(app_.defaultSettingsPath.CStr(), source_.CStr(), destination_.CStr());
    // The rows change by the program's hand: no events for the main loop.
    UiEventMute mute(main_);
    int row = mode_;
    if (mode_ < 0) {
      row = main_.AddListRow(list_, source_.CStr());
      if (row < 0) return false;
    } else {
      SetRowText(main_, list_, row, kSourceColumn, source_.CStr());
    }
    SetRowText(main_, list_, row, kDestinationColumn, destination_.CStr());
    main_.SetRowChecked(list_, row, dialog_.GetCheckState(checkedBox_) == kStateCheck);
    // The row just written is the one the user looks for, and Delete or
    // Return act on it next.
    main_.SelectRow(list_, row);
    return true;
  }

  Application& app_;
  UiWindow& main_;
  UiWindow dialog_;
  int list_;
  int mode_;
  bool checked_ = true;
  bool showInitial_ = false;
  WideString source_, destination_, base_;
  int sourceEdit_ = 0, sourceBrowse_ = 0, destinationEdit_ = 0, destinationBrowse_ = 0;
  int message_ = 0, checkedBox_ = 0, ok_ = 0, cancel_ = 0;
};

template <typename T>
struct ComRelease {
  T* p = nullptr;
  ~ComRelease() {
    if (p) p->Release();
  }
};

// The item dialog of newer systems. -1 when it cannot be made (use the legacy
// browser), else 1 for a folder and 0 for a cancel.
int BrowseWithItemDialog(const wchar_t* initial, HWND owner, WideString& result,
                         const wchar_t* title) {
  ComRelease<IFileDialog> dialog;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileDialog,
                              reinterpret_cast<void**>(&dialog.p))))
    return -1;
  if (initial && initial[0]) {
    ComRelease<IShellItem> folder;
    if (SUCCEEDED(SHCreateItemFromParsingName(initial, nullptr, IID_IShellItem,
                                              reinterpret_cast<void**>(&folder.p)))) {
      dialog.p->SetFolder(folder.p);
      dialog.p->SetDefaultFolder(folder.p);
    }
  }
  DWORD options = 0;
  dialog.p->GetOptions(&options);
  dialog.p->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM);
  dialog.p->SetTitle(title);
  // Nothing is proposed by name: the folder to start in is the proposal.
  dialog.p->SetFileName(L"");
  if (FAILED(dialog.p->Show(owner))) return 0;
  ComRelease<IShellItem> chosen;
  if (FAILED(dialog.p->GetResult(&chosen.p))) return 0;
  wchar_t* path = nullptr;
  if (FAILED(chosen.p->GetDisplayName(SIGDN_FILESYSPATH, &path)) || !path) return 0;
  result.Assign(path);
  CoTaskMemFree(path);
  return 1;
}

int CALLBACK SelectStartFolder(HWND browser, UINT message, LPARAM, LPARAM start) {
  if (message == BFFM_INITIALIZED && start) SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

bool BrowseWithLegacyBrowser(const wchar_t* initial, HWND owner, WideString& result,
                             const wchar_t* title) {
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = title;
  info.ulFlags = kLegacyBrowseFlags;
  if (initial && initial[0]) {
    info.lpfn = SelectStartFolder;
    info.lParam = reinterpret_cast<LPARAM>(initial);
  }
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (!chosen) return false;
  // Long paths do not fit the classic buffer: grow until the path fits.
  std::vector<wchar_t> path(MAX_PATH);
  bool ok = false;
  for (;;) {
    if (SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()),
                              GPFIDL_DEFAULT)) {
      ok = true;
      break;
    }
    if (path.size() >= 32768) break;
    path.resize(path.size() * 4);
  }
  CoTaskMemFree(chosen);
  if (ok) result.Assign(path.data());
  return ok;
}

}  // namespace

WideString ProposeDestination(const wchar_t* base, const wchar_t* source) {
  WideString proposal;
  WideString name = LastName(source);
  if (name.Length() > 0)
    JoinPath(proposal, base, name.CStr());
  else
    proposal = Trimmed(base);
  // A backup in the source itself, or one that holds it or lies inside it,
  // would copy the tree into itself or be deleted with it: no such proposal.
  WideString from(source), to(proposal.CStr());
  const bool full = NormalizeFolderPath(from).ok && NormalizeFolderPath(to).ok;
  if (full && NormalizeFolderPair(from, to)) proposal.Clear();
  return proposal;
}

const wchar_t* NormalizeFolderPair(WideString& source, WideString& destination) {
  if (!source.CStr() || !source.CStr()[0]) return kSourceEmpty;
  if (!destination.CStr() || !destination.CStr()[0]) return kDestinationEmpty;
  static std::wstring notFull, overlap;
  // Stored as the runner reads them, so that what is accepted here runs.
  if (!NormalizeFolderPath(source).ok || !NormalizeFolderPath(destination).ok)
    return Sentence(kNotFullPathReason, notFull);
  if (EqualsNoCase(source.CStr(), destination.CStr())) return kSameFolders;
  if (LiesInside(source, destination)) return kSourceInsideDestination;
  if (LiesInside(destination, source)) return kDestinationInsideSource;
  // Other names of one place (links, short names, a second drive letter),
  // as the runner finds them.
  if (FoldersOverlap(source.CStr(), destination.CStr()))
    return Sentence(kFoldersOverlapReason, overlap);
  return nullptr;
}

const wchar_t* FolderPairProblem(const wchar_t* source, const wchar_t* destination) {
  WideString from(source ? source : L"");
  WideString to(destination ? destination : L"");
  return NormalizeFolderPair(from, to);
}

bool BrowseForFolder(const wchar_t* initial, HWND owner, WideString& result, const wchar_t* title) {
  int chosen = BrowseWithItemDialog(initial, owner, result, title);
  if (chosen < 0) chosen = BrowseWithLegacyBrowser(initial, owner, result, title) ? 1 : 0;
  if (chosen != 1) return false;
  TrimFolderText(result);
  return true;
}

bool FolderPairDialog(Application& app, int list, int mode, const wchar_t* dropped) {
  PairDialog dialog(app, list, mode);
  dialog.SetInitialValues(dropped);
  if (!dialog.Create()) return false;
  dialog.Show();
  return dialog.Run();
}
