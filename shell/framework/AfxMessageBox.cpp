#include "shell/framework/AfxMessageBox.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMessageBox>
#include <QShortcut>

#include "shell/framework/WinApp.h"
#include "shell/framework/Wnd.h"

namespace {
MessageBoxHook g_hook;
}

void AfxSetMessageBoxHook(MessageBoxHook hook) {
    g_hook = std::move(hook);
}

int AfxMessageBox(const char* lpszText, UINT, UINT) {
    const CWinApp* app = AfxGetApp();
    const std::string caption = app != nullptr ? app->GetAppName() : std::string();
    if (g_hook) {
        return g_hook(lpszText, caption);
    }
    CWnd* mainWindow = AfxGetMainWnd();
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromUtf8(lpszText), QMessageBox::Ok,
                    mainWindow != nullptr ? mainWindow->GetSafeHwnd() : nullptr);
    box.setTextFormat(Qt::PlainText);
    // Ctrl+C copies the caption and the text, laid out as the home platform's message
    // boxes copy them.
    QShortcut copy(QKeySequence::Copy, &box);
    QObject::connect(&copy, &QShortcut::activated, &box, [&box] {
        const QString rule = QStringLiteral("---------------------------\n");
        QGuiApplication::clipboard()->setText(rule + box.windowTitle() + "\n" + rule + box.text() +
                                              "\n" + rule + "OK\n" + rule);
    });
    box.exec();
    return IDOK;
}
