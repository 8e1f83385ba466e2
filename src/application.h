#pragma once

#include <QSettings>
#include <QString>

// The program's identity, shared by main, the settings store and the about box.
namespace Application {
constexpr const char* Version = "1.5.3.8";
constexpr const char* Domain = "ostrovel.org";

// Sets version and organisation; call before the application object exists.
void setIdentity();
// Loads the resources compiled into the program's library.
void initResources();
// The per-user settings store: organisation the maker's domain, application the running
// executable's file name.
QSettings settings();
} // namespace Application
