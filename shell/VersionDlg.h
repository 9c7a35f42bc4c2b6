#pragma once

#include <QDialog>

struct VersionBoxControl;
class QFont;

// The version box: the program's icon, its version, the copyright line and an OK button,
// laid out from the version box's layout in dialog units, so that it grows with its font.
// OK and Enter accept it; Esc and the caption's close box reject it. Nothing is read back.
class CVersionDlg final : public QDialog {
    Q_OBJECT

public:
    // A box over parent, the main window: modal while it runs.
    explicit CVersionDlg(QWidget* parent);

private:
    void AddControl(const VersionBoxControl& control, const QFont& font);
};
