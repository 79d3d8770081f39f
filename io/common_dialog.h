// The one file dialog component the import and export share: each use sets only its own
// properties, so the others keep what the previous use left.
#pragma once

#include "platform/dialogs.h"

platform::FileDialogRequest& 通用对话框_打开();
