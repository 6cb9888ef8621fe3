#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The settings file, an INI file held in memory as a whole. Damaged input:
// bytes invalid in the file's encoding become U+FFFD (so does the odd last
// byte of a UTF-16 file); NUL is an ordinary character; a repeated section
// header continues the first section of that name (one section is written);
// a repeated key is kept, and reads and writes use its first line. CR and LF
// in a written key or value become blanks, so an entry stays one line.

enum class TIniEncoding
{
    Ansi,    // the locale's encoding, no byte-order mark
    Utf8,    // with byte-order mark EF BB BF
    Utf16LE, // with byte-order mark FF FE
    Utf16BE  // with byte-order mark FE FF
};

class TMemIniFile
{
public:
    explicit TMemIniFile(const QString& fileName);
    virtual ~TMemIniFile();
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;
    TMemIniFile(TMemIniFile&&) = default;
    TMemIniFile& operator=(TMemIniFile&&) = default;

    QString FileName() const { return FFileName; }

    // A missing file (or a folder of that name) is an empty content.
    bool Load(QString* errorText = nullptr);
    void SetBytes(const QByteArray& bytes);
    QByteArray GetBytes() const;
    virtual bool UpdateFile(QString* errorText = nullptr);

    TIniEncoding Encoding() const { return FEncoding; }
    void SetEncoding(TIniEncoding encoding) { FEncoding = encoding; }

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& ident, int value);
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& ident, bool value);

    // An empty section counts as absent, though it is kept and written.
    bool SectionExists(const QString& section) const;
    QStringList ReadSections() const;
    // A line without "=" gives an empty key.
    QStringList ReadSection(const QString& section) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& ident);
    void Clear();

    bool Modified() const { return FModified; }

protected:
    void SetModified(bool modified) { FModified = modified; }
    qint64 ReadWholeNumber(const QString& section, const QString& ident, qint64 defaultValue, int bits) const;

private:
    struct TEntry
    {
        QString Key; // the whole line when HasValue is false
        QString Value;
        bool HasValue;
    };
    struct TSection
    {
        QString Name;
        std::vector<TEntry> Entries;
        QHash<QString, qsizetype> Index; // folded key -> first entry with that key
        void Reindex();
    };

    const TSection* FindSection(const QString& section) const;
    TSection* FindSection(const QString& section);
    TSection& AddSection(const QString& name);
    void ReindexSections();

    QString FFileName;
    TIniEncoding FEncoding = TIniEncoding::Ansi;
    std::vector<std::unique_ptr<TSection>> FSections;
    QHash<QString, qsizetype> FSectionIndex; // folded name -> position in FSections
    bool FModified = false;
};

// Call UpdateFile() to write and learn of a failure. The destructor writes
// only changes that no UpdateFile() call has tried to write yet, and can only
// log a failure.
class TUnicodeIniFile : public TMemIniFile
{
public:
    // Null, with *errorText set, when an existing file cannot be read.
    static std::unique_ptr<TUnicodeIniFile> CreateForRead(const QString& fileName, QString* errorText = nullptr);
    static std::unique_ptr<TUnicodeIniFile> CreateForWrite(const QString& fileName, bool clearEntries,
                                                           QString* errorText = nullptr);
    ~TUnicodeIniFile() override;

    qint64 ReadInt64(const QString& section, const QString& ident, qint64 defaultValue) const;
    void WriteInt64(const QString& section, const QString& ident, qint64 value);

    bool UpdateFile(QString* errorText = nullptr) override;

    bool ReadOnly() const { return FReadOnly; }

private:
    TUnicodeIniFile(const QString& fileName, bool readOnly);

    bool FReadOnly;
    bool FPendingWrite = false; // changes that no UpdateFile() call has tried to write
};
