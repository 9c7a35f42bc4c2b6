#include "shell/framework/WaitCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
int g_depth = 0; // nested Begin calls not yet ended
}

void CWaitCursor::Begin() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++g_depth;
}

void CWaitCursor::End() {
    if (g_depth == 0) {
        return;
    }
    --g_depth;
    QGuiApplication::restoreOverrideCursor();
}
