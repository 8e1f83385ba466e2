#pragma once

class QZelKorWindow;

// What the environment asks of the window at start-up, so that a demonstration or a script
// begins where it needs to:
//   OSTROVEL_OPEN_DATABASE  a database file to open;
//   OSTROVEL_CONNECT_PORT   a serial port, by name or device path, to connect to (the port
//                           list offers it even when the system does not list it).
// Failures are shown as they are when the user does the same by hand.
void applyStartupEnvironment(QZelKorWindow* window);
