#include "ui/qt/QtSettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QVariant>

namespace tarvex::qt {

namespace {

QString keyName(std::string_view name) {
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

// Whether the store is a plain file this program may create empty: an INI file (the native form
// on Linux and the other Unix systems); the registry and property lists are made by the toolkit.
bool isIniFile(const QSettings& settings) {
#if defined(Q_OS_WIN) || defined(Q_OS_DARWIN)
    return settings.format() == QSettings::IniFormat;
#else
    return settings.format() == QSettings::IniFormat || settings.format() == QSettings::NativeFormat;
#endif
}

}  // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QStringLiteral("Brennwerks"), QStringLiteral("Tarvex"))) {}

QtSettingsStore::QtSettingsStore(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

bool QtSettingsStore::open() {
    // Opening creates the key: a missing file appears, empty, as soon as the window opens.
    if (isIniFile(*settings_)) {
        const QFileInfo file(settings_->fileName());
        if (!file.exists()) {
            if (!QDir().mkpath(file.absolutePath())) return false;
            QFile created(file.absoluteFilePath());
            // NewOnly: a file another run has made meanwhile is kept as it is.
            if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
                !QFile::exists(created.fileName()))
                return false;
        }
    }
    settings_->sync();
    written_ = false;
    // QSettings parses the file at the first read and then keeps a format error; what it could
    // parse is there to be read, and the damage is repaired when the values are saved.
    const QSettings::Status status = settings_->status();
    if (status == QSettings::FormatError) damaged_ = true;
    return status == QSettings::NoError || status == QSettings::FormatError;
}

std::optional<uint32_t> parseStoredNumber(const QString& text) {
    if (text.isEmpty() || text.size() > 10) return std::nullopt;
    uint64_t value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + uint64_t(c.unicode() - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return uint32_t(value);
}

std::optional<uint32_t> QtSettingsStore::read(std::string_view name) {
    const QVariant value = settings_->value(keyName(name));
    if (!value.isValid()) return std::nullopt;
    switch (value.typeId()) {
        case QMetaType::Int:  // a 4-byte registry value
            return uint32_t(value.toInt());
        case QMetaType::UInt:
            return uint32_t(value.toUInt());
        case QMetaType::QString:  // INI files keep every value as text
            return parseStoredNumber(value.toString());
        default:  // 8-byte numbers, binary data, lists: not a 32-bit value
            return std::nullopt;
    }
}

void QtSettingsStore::write(std::string_view name, uint32_t value) {
    written_ = true;
#ifdef Q_OS_WIN
    // A signed 32-bit variant is what becomes a REG_DWORD.
    settings_->setValue(keyName(name), QVariant(qint32(value)));
#else
    settings_->setValue(keyName(name), QVariant(uint(value)));
#endif
}

void QtSettingsStore::close() {
    if (settings_->status() == QSettings::FormatError) damaged_ = true;
    if (damaged_ && written_) {
        replaceDamagedFile();
        return;
    }
    settings_->sync();
}

void QtSettingsStore::replaceDamagedFile() {
    // The unreadable file stays beside the new one; QSettings then writes the values it holds
    // into a file of its own, and a fresh QSettings forgets the old file's error.
    const QString path = settings_->fileName();
    const QSettings::Format format = settings_->format();
    const QString kept = path + QStringLiteral(".bad");
    QFile::remove(kept);
    if (!QFile::rename(path, kept)) return;  // then nothing is written, as for any unwritable store
    settings_->sync();
    settings_ = std::make_unique<QSettings>(path, format);
    damaged_ = false;
    written_ = false;
}

}  // namespace tarvex::qt
