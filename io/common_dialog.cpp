#include "io/common_dialog.h"

platform::FileDialogRequest& 通用对话框_打开() {
    static platform::FileDialogRequest dialog;
    return dialog;
}
