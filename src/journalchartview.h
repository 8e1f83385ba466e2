#pragma once

#include <QtCharts/QChartView>

struct JournalActivity;

// The journal view's chart: passes and refusals per day, or per hour of a single day, side by
// side as bars for a day or a month, as two lines over a time axis for longer periods.
class JournalChartView : public QtCharts::QChartView
{
    Q_OBJECT
public:
    explicit JournalChartView(QWidget* parent = nullptr);

    void showActivity(const JournalActivity& activity);
    // Shows an empty chart with this text as its title.
    void showMessage(const QString& text);
};
