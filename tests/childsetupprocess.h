#pragma once

#include <QProcess>
#include <QtGlobal>

#include <functional>

namespace QtCompat {

// A process that runs setup in the child between fork and exec (Qt 5 and Qt 6 spell it
// differently).
class ChildSetupProcess : public QProcess
{
public:
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    explicit ChildSetupProcess(std::function<void()> setup)
    {
        setChildProcessModifier(std::move(setup));
    }
#else
    explicit ChildSetupProcess(std::function<void()> setup)
        : m_setup(std::move(setup))
    {}

protected:
    void setupChildProcess() override
    {
        m_setup();
    }

private:
    std::function<void()> m_setup;
#endif
};

} // namespace QtCompat
