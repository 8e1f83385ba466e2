#pragma once

#include "backgroundtask.h"
#include "csvformat.h"

#include <QString>

class QComboBox;
class QDialog;
class QLineEdit;

// The controls the three CSV dialogs share: the encoding list, the separator choice and its
// check.
namespace CsvControls {

// Lists every codec name, sorted byte-wise, and selects "windows-1251", without signals.
void fillCodecs(QComboBox* codecs);
// Entry index of the separator combo box: a preset put into the field read-only, or the
// custom entry, which makes the field editable and keeps its text.
void applySeparatorChoice(QLineEdit* separator, int index);
// True when a separator is given; otherwise tells the user in a box titled like the dialog
// and moves the focus to the separator combo box.
bool separatorGiven(QDialog* dialog, const QLineEdit* separator, QComboBox* choice);
// Asks for the file to write, proposing proposedName; empty when the user cancelled.
QString askSaveFile(QDialog* dialog, const QString& title, const QString& proposedName);

// The progress of a dialog's task: the dialog's setMaximum and setValue signals, emitted from
// the pool thread, and its cancel flag.
template<typename Dialog>
Csv::Progress taskProgress(Dialog* dialog, const CancelFlag* cancel)
{
    Csv::Progress progress;
    progress.setMaximum = [dialog](int value) { emit dialog->setMaximum(value); };
    progress.setValue = [dialog](int value) { emit dialog->setValue(value); };
    progress.isCancelled = [cancel] { return cancel->isSet(); };
    return progress;
}

} // namespace CsvControls
