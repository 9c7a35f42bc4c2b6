#include "shell/framework/Dialog.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "shell/framework/FrameWnd.h"
#include "shell/framework/ResourceTables.h"
#include "shell/framework/WinApp.h"

namespace {

// The system's MulDiv: a * b / c rounded to the nearest integer.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// The widget of a dialog box: Esc and the close box end it through OnCancel.
class DialogWidget final : public QDialog {
public:
    DialogWidget(CDialog& dialog, QWidget* parent) : QDialog(parent), m_dialog(dialog) {}

    void reject() override { m_dialog.OnCommand(IDCANCEL); }

private:
    CDialog& m_dialog;
};

// A dialog box's flags are a frame's, as a dialog and without minimise and maximise
// buttons.
Qt::WindowFlags DialogFlagsFromStyle(DWORD style) {
    return AfxWindowFlagsFromStyle(style & ~(WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) | Qt::Dialog;
}

} // namespace

DialogBaseUnits AfxGetDialogBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, metrics.height()};
}

QRect AfxMapDialogRect(const QRect& dialogUnits, const DialogBaseUnits& units) {
    return {MulDiv(dialogUnits.x(), units.x, 4), MulDiv(dialogUnits.y(), units.y, 8),
            MulDiv(dialogUnits.width(), units.x, 4), MulDiv(dialogUnits.height(), units.y, 8)};
}

bool AfxEndDialogOfWindow(WId window) {
    auto* dialog = qobject_cast<QDialog*>(QWidget::find(window));
    if (dialog == nullptr || !dialog->isVisible()) {
        return false;
    }
    // A box's own cancel: Esc and the close box take the same way.
    QWidget* owner = dialog->parentWidget();
    dialog->reject();
    if (owner != nullptr) {
        owner->window()->activateWindow();
    }
    return true;
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

QWidget* CDialog::ParentWidget() const {
    if (m_pParentWnd != nullptr) {
        return m_pParentWnd->GetSafeHwnd();
    }
    CWnd* mainWindow = AfxGetMainWnd();
    return mainWindow != nullptr ? mainWindow->GetSafeHwnd() : nullptr;
}

int CDialog::DoModal() {
    const DialogResource* resource = AfxFindDialog(m_nIDTemplate);
    if (resource == nullptr) {
        return -1;
    }
    auto* dialog = new DialogWidget(*this, ParentWidget());
    dialog->setObjectName(QStringLiteral("dialog%1").arg(m_nIDTemplate));
    dialog->setWindowFlags(DialogFlagsFromStyle(resource->style));
    dialog->setWindowTitle(QString::fromUtf8(resource->caption));
    QFont font = dialog->font();
    if ((resource->style & DS_SETFONT) != 0) {
        font = QFont(QString::fromUtf8(resource->fontName), resource->pointSize);
        dialog->setFont(font);
    }
    const DialogBaseUnits units = AfxGetDialogBaseUnits(font);
    dialog->setFixedSize(AfxMapDialogRect(QRect(0, 0, resource->cx, resource->cy), units).size());

    int index = 0;
    for (const DialogControlResource& control : resource->controls) {
        const QRect geometry =
            AfxMapDialogRect(QRect(control.x, control.y, control.cx, control.cy), units);
        QWidget* widget = nullptr;
        if (control.kind == DialogControlKind::Button) {
            auto* button = new QPushButton(QString::fromUtf8(control.text), dialog);
            button->setDefault((control.style & 0x0F) == BS_DEFPUSHBUTTON);
            const UINT id = static_cast<UINT>(control.id);
            QObject::connect(button, &QPushButton::clicked, dialog, [this, id] { OnCommand(id); });
            widget = button;
            widget->setGeometry(geometry);
        } else if ((control.style & SS_TYPEMASK) == SS_ICON) {
            // An icon control takes the icon's own size, 32 x 32.
            auto* label = new QLabel(dialog);
            label->setPixmap(AfxLoadIcon(static_cast<UINT>(std::atoi(control.text)))
                                 .pixmap(QSize(32, 32), dialog->devicePixelRatio()));
            // A dialog's icon is the application's, so screen readers call it by the
            // application's name.
            label->setAccessibleName(QCoreApplication::applicationName());
            widget = label;
            widget->setGeometry(QRect(geometry.topLeft(), QSize(32, 32)));
        } else {
            auto* label = new QLabel(QString::fromUtf8(control.text), dialog);
            label->setTextFormat(Qt::PlainText);
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = label;
            widget->setGeometry(geometry);
        }
        widget->setObjectName(QStringLiteral("control%1").arg(++index));
        widget->setProperty("controlId", control.id);
    }

    Attach(dialog);
    m_nModalResult = -1;
    if (OnInitDialog()) {
        if (QWidget* first = dialog->findChild<QPushButton*>()) {
            first->setFocus();
        }
    }
    dialog->exec();
    DestroyWindow();
    return m_nModalResult;
}

BOOL CDialog::OnInitDialog() {
    return TRUE;
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    if (auto* dialog = static_cast<QDialog*>(GetSafeHwnd())) {
        dialog->done(nResult);
    }
}

void CDialog::OnOK() {
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

BOOL CDialog::OnCommand(UINT nID) {
    if (OnCmdMsg(nID)) {
        return TRUE;
    }
    if (nID == IDOK) {
        OnOK();
        return TRUE;
    }
    if (nID == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}
