#pragma once

#include <QDialog>

class QTextBrowser;

// The operator's manual bundled with the program: its contents, topic 1 (the main window)
// and topic 2 (the settings dialog). Shown without blocking the main window.
class TfmHelp : public QDialog {
    Q_OBJECT
public:
    explicit TfmHelp(QWidget* parent = nullptr);

    // Shows the manual at its contents (topic 0) or at a topic.
    void ShowTopic(int topic);

    QTextBrowser* Text = nullptr;
};
