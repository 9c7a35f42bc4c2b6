#include "shell/MessagePane.h"

#include <QEvent>
#include <QLabel>

#include "resources/ApplicationResources.h"

void MessagePane::Attach(QLabel& label) {
    m_label = &label;
    // The pane takes the width the status bar leaves it, whatever its text: a long line is
    // shortened to fit instead of pushing the other panes away.
    label.setSizePolicy(QSizePolicy::Ignored, label.sizePolicy().verticalPolicy());
    label.installEventFilter(this);
    Update();
}

void MessagePane::MenuOpened() {
    ++m_openMenus;
    m_prompt.clear();
    Update();
}

void MessagePane::MenuClosed() {
    if (m_openMenus > 0) {
        --m_openMenus;
    }
    m_prompt.clear();
    Update();
}

void MessagePane::ShowPrompt(const QString& prompt) {
    m_prompt = prompt;
    Update();
}

void MessagePane::ShowProgress(const QString& progress) {
    m_progress = progress;
    Update();
}

void MessagePane::ShowRejection(const LoadOutcome& outcome, const std::string& path) {
    if (RejectionText(outcome, {}).isEmpty()) {
        return;
    }
    m_rejection = Rejection{outcome, QString::fromStdString(path)};
    Update();
}

void MessagePane::ForgetRejection() {
    m_rejection.reset();
    Update();
}

// A path is shortened to the pane's width, which the label learns only once it is laid out.
bool MessagePane::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label && event->type() == QEvent::Resize) {
        Update();
    }
    return false;
}

void MessagePane::Update() {
    if (m_label == nullptr) {
        return;
    }
    QString whole;
    QString shown;
    if (m_openMenus > 0 && !m_prompt.isEmpty()) {
        whole = m_prompt;
    } else if (!m_progress.isEmpty()) {
        whole = m_progress;
    } else if (m_rejection) {
        whole = RejectionText(m_rejection->outcome, m_rejection->path);
        shown = ShownRejection(*m_rejection);
    } else {
        whole = ResourceString(AFX_IDS_IDLEMESSAGE);
    }
    m_label->setText(shown.isEmpty() ? whole : shown);
    // Qt tells screen readers of the change; they read the whole path.
    m_label->setAccessibleName(whole);
}

// The line with the path shortened in its middle to what the pane has room for, on one line
// whatever characters the path holds.
QString MessagePane::ShownRejection(const Rejection& rejection) const {
    QString path = rejection.path;
    for (QChar& character : path) {
        if (character.category() == QChar::Other_Control) {
            character = QChar::ReplacementCharacter;
        }
    }
    const QFontMetrics metrics = m_label->fontMetrics();
    const int width = m_label->contentsRect().width() - 2 * m_label->margin();
    // Widths of texts add up only to a pixel or so: shorten until the whole line fits.
    int room = width - metrics.horizontalAdvance(RejectionText(rejection.outcome, {}));
    QString line;
    do {
        line = RejectionText(rejection.outcome, metrics.elidedText(path, Qt::ElideMiddle, room));
        --room;
    } while (metrics.horizontalAdvance(line) > width && room > 0);
    return line;
}
