#pragma once

class QAction;
class QComboBox;
class QMainWindow;
class QSplitter;
class QTreeWidget;

// The main window's layout in the per-user settings store: the window's geometry and state,
// the database tab's splitter, the events list's header, the events order and the last serial
// port. A key is the object name of its widget, "/", and "Geometry" or "State", or the bare
// object name for the order and the port. An absent key leaves its widget as it is, except
// that the tree then takes the splitter's whole width and the events list's first columns are
// as wide as a time stamp and a key.
class WindowLayout
{
public:
    WindowLayout(QMainWindow* window, QSplitter* splitter, QTreeWidget* events,
                 QAction* orderEvents, QComboBox* ports);

    void restore() const;
    void save() const;

private:
    QMainWindow* m_window;
    QSplitter* m_splitter;
    QTreeWidget* m_events;
    QAction* m_orderEvents;
    QComboBox* m_ports;
};
