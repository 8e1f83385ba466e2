#pragma once

#include <QByteArray>
#include <QMap>
#include <QObject>
#include <QSettings>
#include <QString>

// Common set-up of the widget tests: a throw-away settings store, the program's identity and
// resources, a desktop-sized font, no noise from the offscreen platform, and snapshots kept
// aside.
void prepareGuiTest();

// Sends the snapshots the program takes into a folder of this test program's own, removed when
// it ends.
void keepSnapshotsAside();

// The program's per-user settings store (the throw-away one in tests).
QSettings settingsStore();

// Every file of a folder, hidden ones too, with its bytes: what a check that a file was left
// as it was compares.
QMap<QString, QByteArray> folderContents(const QString& path);
// Writes content into file or, when it starts with "sql:", runs the statements after that
// through the sqlite3 shell on it; false when that failed.
bool makeFile(const QString& file, const QByteArray& content);

class QZelKorWindow;
// Selects the port listed as portName in the window's port list and connects to it; false
// when the port is not listed or the worker did not start.
bool connectWindow(QZelKorWindow* window, const QString& portName);

// The window's link circle as "colour: tool tip" (white, yellow, green or red).
QString linkIndicator(QZelKorWindow* window);

// The named child of a widget; a missing one is a broken test, so it stops the run.
template<typename T>
T* childOf(const QObject* parent, const char* name)
{
    T* child = parent->findChild<T*>(QString::fromLatin1(name));
    if (!child)
        qFatal("no child %s", name);
    return child;
}
