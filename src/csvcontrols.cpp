#include "csvcontrols.h"

#include "csvformat.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QSignalBlocker>

namespace CsvControls {

void fillCodecs(QComboBox* codecs)
{
    const QSignalBlocker blocker(codecs);
    // Some of the many names are long; the box keeps a usual width and the list shows them.
    codecs->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    codecs->setMinimumContentsLength(14);
    codecs->clear();
    codecs->addItems(Csv::codecNames());
    codecs->setCurrentIndex(codecs->findText(QString::fromLatin1(Csv::DefaultCodec)));
}

void applySeparatorChoice(QLineEdit* separator, int index)
{
    const QString preset = Csv::presetSeparator(index);
    if (!preset.isNull())
        separator->setText(preset);
    separator->setReadOnly(!preset.isNull());
}

bool separatorGiven(QDialog* dialog, const QLineEdit* separator, QComboBox* choice)
{
    if (!separator->text().isEmpty())
        return true;
    QMessageBox::critical(dialog, dialog->windowTitle(),
                          QCoreApplication::translate("Csv", "Необходимо указать разделитель."),
                          QMessageBox::Ok);
    choice->setFocus();
    return false;
}

QString askSaveFile(QDialog* dialog, const QString& title, const QString& proposedName)
{
    return QFileDialog::getSaveFileName(
        dialog, title, proposedName,
        QCoreApplication::translate("Csv", "CSV (*.csv);;Текст (*.txt)"));
}

} // namespace CsvControls
