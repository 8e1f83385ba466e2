#pragma once

#include <QSettings>
#include <QString>

// The program's identity, shared by main, the settings store and the about box.
namespace Application {
constexpr const char* Version = "1.5.3.8";
constexpr const char* Domain = "ostrovel.org";
// The program's name on the desktop: its menu entry, icon and metainfo are named after it.
constexpr const char* DesktopId = "org.ostrovel.Ostrovel";

// Sets version and organisation; call before the application object exists.
void setIdentity();
// Loads the resources compiled into the program's library.
void initResources();
// Installs Qt's own Russian texts (standard buttons, file dialogs, serial port errors) when the
// system carries them; without them those texts stay English. Call once the application
// object exists.
void installTranslations();
// The per-user settings store: organisation the maker's domain, application the running
// executable's file name.
QSettings settings();
} // namespace Application
