#include "journalchartview.h"

#include "journalactivity.h"

#include <QDateTime>
#include <QLocale>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSeries>
#include <QtCharts/QBarSet>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <numeric>

using namespace QtCharts;

namespace {

// Up to this many days or hours are drawn as bars, each with its label; more as lines over a
// time axis.
constexpr int MostBars = 62;

const QColor PassColor(0x2e, 0x7d, 0x32);
const QColor RefusalColor(0xc6, 0x28, 0x28);

QBarSet* barsOf(const QString& name, const QColor& color, const QVector<int>& counts)
{
    auto* set = new QBarSet(name);
    set->setColor(color);
    set->setBorderColor(color.darker(120));
    for (int count : counts)
        set->append(count);
    return set;
}

QLineSeries* lineOf(const QString& name, const QColor& color, const JournalActivity& activity,
                    const QVector<int>& counts)
{
    auto* series = new QLineSeries;
    series->setName(name);
    QPen pen(color);
    pen.setWidthF(1.5);
    series->setPen(pen);
    QVector<QPointF> points;
    points.reserve(counts.size());
    for (int n = 0; n < counts.size(); ++n)
        points.append(QPointF(activity.bounds[n], counts[n]));
    series->replace(points);
    return series;
}

// The count axis up to a round number, with ticks on round numbers.
QValueAxis* countAxis(int highest)
{
    int step = 1;
    for (int scale = 1;; scale *= 10) {
        const int factors[] = {1, 2, 5};
        const auto fits = std::find_if(std::begin(factors), std::end(factors),
                                       [&](int factor) { return highest <= 5 * factor * scale; });
        if (fits != std::end(factors)) {
            step = *fits * scale;
            break;
        }
    }
    const int intervals = std::max(1, (highest + step - 1) / step);
    auto* axis = new QValueAxis;
    axis->setRange(0, intervals * step);
    axis->setTickCount(intervals + 1);
    axis->setLabelFormat(QStringLiteral("%d"));
    return axis;
}

// The label of each bar: its hour, or its day. A day of a clock change may repeat an hour.
QStringList barLabels(const JournalActivity& activity)
{
    QStringList labels;
    for (int n = 0; n < activity.size(); ++n) {
        const QDateTime start = QDateTime::fromMSecsSinceEpoch(activity.bounds[n]);
        QString label =
            start.toString(activity.hourly ? QStringLiteral("HH") : QStringLiteral("dd.MM"));
        while (labels.contains(label))
            label += QLatin1Char(' ');
        labels.append(label);
    }
    return labels;
}

} // namespace

JournalChartView::JournalChartView(QWidget* parent)
    : QChartView(parent)
{
    setRenderHint(QPainter::Antialiasing);
    chart()->legend()->setAlignment(Qt::AlignBottom);
    chart()->setMargins(QMargins(6, 6, 6, 6));
}

void JournalChartView::showMessage(const QString& text)
{
    chart()->removeAllSeries();
    for (QAbstractAxis* axis : chart()->axes()) {
        chart()->removeAxis(axis);
        delete axis;
    }
    chart()->setTitle(text);
}

void JournalChartView::showActivity(const JournalActivity& activity)
{
    if (activity.size() == 0) {
        showMessage(QString());
        return;
    }
    // The window's language, which groups the digits as it does in the count.
    const QLocale locale = this->locale();
    const auto sum = [](const QVector<int>& counts) {
        return std::accumulate(counts.begin(), counts.end(), 0);
    };
    const QDateTime first = QDateTime::fromMSecsSinceEpoch(activity.bounds.first());
    const QDateTime last = QDateTime::fromMSecsSinceEpoch(activity.bounds.last() - 1);
    const QString period = activity.hourly
                               ? first.toString(QStringLiteral("dd.MM.yyyy"))
                               : tr("%1 – %2").arg(first.toString(QStringLiteral("dd.MM.yyyy")),
                                                   last.toString(QStringLiteral("dd.MM.yyyy")));
    showMessage((activity.hourly ? tr("Проходы и отказы по часам, %1: проходов %2, отказов %3")
                                 : tr("Проходы и отказы по дням, %1: проходов %2, отказов %3"))
                    .arg(period, locale.toString(sum(activity.passes)),
                         locale.toString(sum(activity.refusals))));

    QAbstractAxis* time = nullptr;
    QList<QAbstractSeries*> series;
    if (activity.size() <= MostBars) {
        auto* bars = new QBarSeries;
        bars->append(barsOf(tr("Проходы"), PassColor, activity.passes));
        bars->append(barsOf(tr("Отказы"), RefusalColor, activity.refusals));
        auto* labels = new QBarCategoryAxis;
        labels->append(barLabels(activity));
        time = labels;
        series << bars;
    } else {
        auto* axis = new QDateTimeAxis;
        axis->setRange(first, QDateTime::fromMSecsSinceEpoch(activity.bounds[activity.size() - 1]));
        axis->setFormat(first.daysTo(last) > 370 ? QStringLiteral("MM.yyyy")
                                                 : QStringLiteral("dd.MM.yy"));
        axis->setTickCount(13);
        time = axis;
        series << lineOf(tr("Проходы"), PassColor, activity, activity.passes)
               << lineOf(tr("Отказы"), RefusalColor, activity, activity.refusals);
    }
    const int highest =
        std::max(*std::max_element(activity.passes.begin(), activity.passes.end()),
                 *std::max_element(activity.refusals.begin(), activity.refusals.end()));
    QValueAxis* count = countAxis(highest);
    chart()->addAxis(time, Qt::AlignBottom);
    chart()->addAxis(count, Qt::AlignLeft);
    for (QAbstractSeries* each : series) {
        chart()->addSeries(each);
        each->attachAxis(time);
        each->attachAxis(count);
    }
}
