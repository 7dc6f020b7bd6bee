#pragma once

#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

// A field for a file's path with a browse button beside it. The button asks the
// operator for a file (the given chooser, an open-file dialog by default) and puts the
// chosen path into the field as if typed; choosing nothing leaves the field as it was.
class TFileNameEdit : public QWidget {
    Q_OBJECT
public:
    using TChooser = std::function<QString(QWidget* parent, const QString& current, const QString& filter)>;

    TFileNameEdit(const QString& filter, QWidget* parent = nullptr);

    QLineEdit* Edit = nullptr;
    QToolButton* Browse = nullptr;
    // How the browse button asks for a file; the tests put their own chooser here.
    TChooser Chooser;

private:
    void BrowseClick();

    QString FFilter;
};
