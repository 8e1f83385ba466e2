#pragma once

#include <QDialog>

namespace Ui {
class QAbout;
}

// The about box: the program's title, version and web site.
class QAbout : public QDialog
{
    Q_OBJECT
public:
    QAbout(const QString& text, QWidget* parent = nullptr);
    ~QAbout() override;

private:
    Ui::QAbout* ui;
};
