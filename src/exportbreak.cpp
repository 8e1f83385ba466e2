#include "exportbreak.h"

#include "datafolders.h"
#include "exportchain.h"
#include "exportcontent.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace {

const QString FileName = QStringLiteral("export-break.json");

QString fileOf(const QString& database)
{
    return DataFolders::snapshotFolder(database) + QLatin1Char('/') + FileName;
}

QString absolute(const QString& database)
{
    const QFileInfo file(database);
    return file.canonicalFilePath().isEmpty() ? file.absoluteFilePath() : file.canonicalFilePath();
}

ExportBreak read(const QString& path)
{
    QFile file(path);
    ExportBreak kept;
    if (!file.open(QIODevice::ReadOnly))
        return kept;
    const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();
    kept.database = json.value(QStringLiteral("database")).toString();
    kept.port = json.value(QStringLiteral("port")).toString();
    kept.stage = json.value(QStringLiteral("stage")).toInt(-1);
    kept.block = json.value(QStringLiteral("block")).toInt();
    kept.blocks = json.value(QStringLiteral("blocks")).toInt();
    kept.time = QDateTime::fromString(json.value(QStringLiteral("time")).toString(), Qt::ISODate);
    kept.fingerprint =
        QByteArray::fromHex(json.value(QStringLiteral("fingerprint")).toString().toLatin1());
    // Only a stage that writes blocks after the clearing can be gone on with.
    if (kept.stage < ExportChain::Settings || kept.stage >= ExportChain::StageCount ||
        kept.block < 0 || kept.fingerprint.isEmpty())
        return {};
    return kept;
}

} // namespace

QString ExportBreak::text() const
{
    return QCoreApplication::translate("ExportBreak",
                                       "Панель заполнена не полностью: экспорт прерван %1 на этапе "
                                       "«%2», блок %3 из %4 (%5, порт %6).")
        .arg(time.toLocalTime().toString(QStringLiteral("dd.MM.yyyy hh:mm")),
             ExportChain::titleOf(stage))
        .arg(block + 1)
        .arg(blocks)
        .arg(QDir::toNativeSeparators(database), port);
}

ExportBreak ExportBreak::of(const ExportChain& chain, const ExportContent& content,
                            const QString& database, const QString& port)
{
    ExportBreak kept;
    if (!chain.canResume())
        return kept;
    kept.database = absolute(database);
    kept.port = port;
    kept.stage = chain.failedStage();
    kept.block = chain.failedBlock();
    kept.blocks = chain.blocks(chain.failedStage());
    kept.time = QDateTime::currentDateTimeUtc();
    kept.fingerprint = exportFingerprint(content);
    return kept;
}

ExportBreak ExportBreak::load(const QString& database)
{
    const ExportBreak kept = read(fileOf(database));
    return kept.isValid() && kept.database == absolute(database) ? kept : ExportBreak();
}

QList<ExportBreak> ExportBreak::all()
{
    QList<ExportBreak> kept;
    const QDir root(DataFolders::snapshotsRoot());
    for (const QString& folder : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const ExportBreak one = read(root.filePath(folder + QLatin1Char('/') + FileName));
        if (one.isValid())
            kept.append(one);
    }
    std::sort(kept.begin(), kept.end(),
              [](const ExportBreak& a, const ExportBreak& b) { return a.time > b.time; });
    return kept;
}

QString ExportBreak::save() const
{
    const QString path = fileOf(database);
    QDir().mkpath(QFileInfo(path).path());
    const QJsonObject json{
        {QStringLiteral("database"), database},
        {QStringLiteral("port"), port},
        {QStringLiteral("stage"), stage},
        {QStringLiteral("block"), block},
        {QStringLiteral("blocks"), blocks},
        {QStringLiteral("time"), time.toString(Qt::ISODateWithMs)},
        {QStringLiteral("fingerprint"), QString::fromLatin1(fingerprint.toHex())}};
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(json).toJson()) >= 0 &&
        file.commit())
        return QString();
    return QCoreApplication::translate("ExportBreak",
                                       "Не удалось сохранить место прерывания экспорта: %1.\r\n"
                                       "Ошибка: %2.")
        .arg(QDir::toNativeSeparators(path), file.errorString());
}

void ExportBreak::forget(const QString& database)
{
    QFile::remove(fileOf(database));
}

QByteArray exportFingerprint(const ExportContent& content)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(content.settings);
    for (const PanelTables::Blocks* table : {&content.apartments, &content.phones})
        for (auto block = table->cbegin(); block != table->cend(); ++block) {
            hash.addData(QByteArray::number(block.key()));
            hash.addData(block.value());
        }
    hash.addData(content.keys);
    return hash.result();
}
