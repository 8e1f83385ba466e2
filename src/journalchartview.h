#pragma once

#include <QtCharts/QChartView>

// Qt 5 keeps the chart classes in a namespace of their own, Qt 6 in the global one; this lets
// chart code name them plainly against both.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
namespace QtCharts {}
using namespace QtCharts;
#endif

struct JournalActivity;

// The journal view's chart: passes and refusals per day, or per hour of a single day, side by
// side as bars for a day or a month, as two lines over a time axis for longer periods.
class JournalChartView : public QChartView
{
    Q_OBJECT
public:
    explicit JournalChartView(QWidget* parent = nullptr);

    void showActivity(const JournalActivity& activity);
    // Shows an empty chart with this text as its title.
    void showMessage(const QString& text);
};
