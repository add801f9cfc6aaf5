#include "system/shell_link.h"

#include <string>

#include "engine/force_delete.h"

ShellLink::ShellLink() {
  HRESULT started = CoInitialize(nullptr);
  comStarted_ = SUCCEEDED(started);  // S_FALSE also needs its balancing call
}

ShellLink::~ShellLink() {
  Release();
  if (comStarted_) CoUninitialize();
}

void ShellLink::Release() {
  if (file_) file_->Release();
  if (link_) link_->Release();
  file_ = nullptr;
  link_ = nullptr;
  ready_ = false;
}

bool ShellLink::OpenLink(const wchar_t* path) {
  Release();
  if (!path || !path[0]) return false;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link_))))
    return false;
  if (FAILED(link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_)))) {
    Release();
    return false;
  }
  DWORD attributes = GetFileAttributesW(path);
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    ready_ = SUCCEEDED(file_->Load(path, STGM_READWRITE));
  else
    ready_ = SUCCEEDED(file_->Save(path, TRUE));
  return ready_;
}

bool ShellLink::Save(const wchar_t* program, const wchar_t* arguments, const wchar_t* iconFile) {
  if (!ready_) return false;
  link_->SetPath(program);
  link_->SetArguments(arguments ? arguments : L"");
  link_->SetIconLocation(iconFile, 0);
  // Written to the file that OpenLink opened or created.
  if (FAILED(file_->Save(nullptr, FALSE))) return false;
  return file_->SaveCompleted(nullptr) == S_OK;
}

bool DeleteShortcut(const wchar_t* path) {
  if (!path || !path[0]) return false;
  // The deletion tells the shell about the removed file itself.
  return ForceDelete(path, DeleteOption::DeleteRepairAccess) == DeleteResult::Deleted;
}
