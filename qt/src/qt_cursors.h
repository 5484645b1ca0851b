// The platform's cursors as Qt cursors: system cursors by shape, cursor
// pictures (AND and XOR masks) as bitmap cursors.
#pragma once

#include <QCursor>

#include "marovia/platform/forms.h"

namespace marovia::qt_detail {

QCursor QtCursor(TCursor Cursor);

}  // namespace marovia::qt_detail
