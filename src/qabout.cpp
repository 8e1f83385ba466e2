#include "qabout.h"

#include "application.h"
#include "ui_qabout.h"

#include <QCoreApplication>

QAbout::QAbout(const QString& text, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::QAbout)
{
    ui->setupUi(this);
    ui->lInfo->setText(text);
    ui->lVersion->setText(QCoreApplication::applicationVersion());
    ui->lLink->setText(QStringLiteral("<a href=\"https://%1\">%1</a>").arg(Application::Domain));
    setMaximumHeight(1);
}

QAbout::~QAbout()
{
    delete ui;
}
