#include "shell/MessagePane.h"

#include <QLabel>

#include "resources/ApplicationResources.h"

void MessagePane::Attach(QLabel& label) {
    m_label = &label;
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

void MessagePane::Update() {
    if (m_label == nullptr) {
        return;
    }
    const QString& text = m_openMenus > 0 ? m_prompt : m_progress;
    m_label->setText(text.isEmpty() ? ResourceString(AFX_IDS_IDLEMESSAGE) : text);
}
