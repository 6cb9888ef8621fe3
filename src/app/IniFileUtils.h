#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// The settings file: an INI text file held in memory as a whole, read when an
// object is loaded and written back in one piece.
//
// Reading rules: the encoding comes from a byte-order mark (UTF-8, UTF-16 LE,
// UTF-16 BE), without one the locale's encoding is used; lines end at CR LF,
// LF or CR; every line loses leading and trailing characters with codes up to
// 32; empty lines and lines beginning with ";" are skipped; "[name]" starts a
// section; other lines are entries of the current section, "key=value" split
// at the first "=" with both parts stripped, a line without "=" kept whole;
// lines before the first section are dropped; values are not unquoted.
//
// Damaged input: bytes that are not valid in the encoding become U+FFFD (a
// lone trailing byte of a UTF-16 file included); NUL characters inside a line
// are ordinary characters. A section header that repeats an earlier one (names
// compared without case) continues that section: its entries are appended to
// the first one and the file is written with one section of that name. A key
// that repeats within a section is kept; reads and writes use its first line.
//
// Writing: every section as "[name]", its entry lines, an empty line; every
// line ends with CR LF. Keys and values must stay on one line, so CR and LF
// in a written key or value are replaced by blanks.

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
    // An empty content bound to fileName; Load reads the file.
    explicit TMemIniFile(const QString& fileName);
    virtual ~TMemIniFile();
    TMemIniFile(const TMemIniFile&) = delete;
    TMemIniFile& operator=(const TMemIniFile&) = delete;
    TMemIniFile(TMemIniFile&&) = default;
    TMemIniFile& operator=(TMemIniFile&&) = default;

    QString FileName() const { return FFileName; }

    // Reads the file: a missing file (or a directory of that name) gives an
    // empty content and true; a file that cannot be read gives false and
    // "Cannot open file ..." in *errorText, with an empty content.
    bool Load(QString* errorText = nullptr);
    // Replaces the content by the parsed bytes; the encoding is taken from them.
    void SetBytes(const QByteArray& bytes);
    // The content as the file would hold it, in Encoding().
    QByteArray GetBytes() const;
    // Writes GetBytes() to the file atomically; false with "Cannot create
    // file ..." in *errorText when it fails, leaving the old file as it was.
    virtual bool UpdateFile(QString* errorText = nullptr);

    TIniEncoding Encoding() const { return FEncoding; }
    void SetEncoding(TIniEncoding encoding) { FEncoding = encoding; }

    QString ReadString(const QString& section, const QString& ident, const QString& defaultValue) const;
    void WriteString(const QString& section, const QString& ident, const QString& value);
    // Decimal text, "0x"/"$" followed by hexadecimal digits; anything else gives the default.
    int ReadInteger(const QString& section, const QString& ident, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& ident, int value);
    // Read as an integer, any value other than 0 is true; written as "0" or "1".
    bool ReadBool(const QString& section, const QString& ident, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& ident, bool value);

    // True when the section has at least one entry: an empty section counts
    // as absent, though it stays in the content and is written.
    bool SectionExists(const QString& section) const;
    // Names of the sections in file order, empty ones included.
    QStringList ReadSections() const;
    // Keys of a section in order (a line without "=" gives an empty key).
    QStringList ReadSection(const QString& section) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& ident);
    void Clear();

    // True when the content changed since it was loaded or last written.
    bool Modified() const { return FModified; }

protected:
    void SetModified(bool modified) { FModified = modified; }
    // Integer rules of the file for a value `bits` (32 or 64) wide.
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

// The settings file of the program. An object is made for one read or one
// write. One opened for writing always writes UTF-16 LE with byte-order mark.
//
// Writing: call UpdateFile(), which reports a failure to the caller. The
// destructor writes only changes that no UpdateFile() call has tried to write
// yet (a safety net for forgotten calls); a failure there cannot be reported
// and is only logged as a warning.
class TUnicodeIniFile : public TMemIniFile
{
public:
    // Opens the file read-only; such an object never writes. Null (and
    // *errorText set) when an existing file cannot be read.
    static std::unique_ptr<TUnicodeIniFile> CreateForRead(const QString& fileName, QString* errorText = nullptr);
    // Opens the file for writing, starting from an empty content when
    // clearEntries is set, and makes sure an (empty) section "Unicode" exists.
    static std::unique_ptr<TUnicodeIniFile> CreateForWrite(const QString& fileName, bool clearEntries,
                                                           QString* errorText = nullptr);
    ~TUnicodeIniFile() override;

    qint64 ReadInt64(const QString& section, const QString& ident, qint64 defaultValue) const;
    void WriteInt64(const QString& section, const QString& ident, qint64 value);

    // Does nothing and reports success for a read-only object.
    bool UpdateFile(QString* errorText = nullptr) override;

    bool ReadOnly() const { return FReadOnly; }

private:
    TUnicodeIniFile(const QString& fileName, bool readOnly);

    bool FReadOnly;
    bool FPendingWrite = false; // changes that no UpdateFile() call has tried to write
};

// ---- Histories ----------------------------------------------------------
// A history is an item list, newest first, without duplicates. In the file
// item i is the key "History" + i (no leading zeros) of its section.

inline constexpr int MaxHistory = 50;
inline constexpr char DefaultHistoryPrefix[] = "History";

// Reads keys prefix + 0 ... prefix + (maxCount - 1); empty values are
// skipped, a missing key does not end the list. Only when the section exists
// is `list` replaced (returns true); otherwise it stays as it is. With `quote`
// every "#" becomes a double quote. An empty prefix means "History".
bool ReadHistory(const TMemIniFile& ini, const QString& section, QStringList& list, const QString& keyPrefix,
                 int maxCount, bool quote);
// Writes the first min(maxCount, size) items; `erase` removes the section
// first. With `quote` every double quote is written as "#".
void WriteHistory(TMemIniFile& ini, const QString& section, const QStringList& list, const QString& keyPrefix,
                  int maxCount, bool erase, bool quote);

// Open the file, call the routines above and (for writing) save it in the
// encoding it was found in. False with an error text when the file cannot
// be read or written; a failed write leaves the old file untouched.
bool ReadHistoryFile(const QString& fileName, const QString& section, QStringList& list, int maxCount, bool quote,
                     bool* sectionFound = nullptr, QString* errorText = nullptr);
bool WriteHistoryFile(const QString& fileName, const QString& section, const QStringList& list, int maxCount,
                      bool erase, bool quote, QString* errorText = nullptr);

// Puts text at the top of the list: an entry equal to it without regard to
// case moves up and takes its spelling; a new text pushes out the last
// entry once the list holds `bound` items. An empty text changes nothing.
void AddToHistory(QStringList& list, const QString& text, int bound);
inline void AddToHistory(QStringList& list, const QString& text)
{
    AddToHistory(list, text, MaxHistory);
}

// ---- Main window settings -------------------------------------------------

// Section "Config" of the settings file.
struct TMainSettings
{
    int Left = 354;
    int Top = 247;
    QString Sumatra;
    QString Printer;
    bool Subdirectories = false;
};

// Reads "Left", "Top", "Sumatra", "Printer", "Subdirectories", each with its
// value in `defaults` as default. When the file exists but cannot be read,
// returns `defaults` and sets *errorText (otherwise it is cleared).
TMainSettings ReadMainSettings(const QString& iniName, const TMainSettings& defaults, QString* errorText = nullptr);
// The first of the three writes at exit: opens the file for writing (UTF-16
// LE, section "Unicode"), writes the five keys in order and saves it. False
// with an error text when the file cannot be read or written; the caller
// then skips the history writes.
bool WriteMainSettings(const QString& iniName, const TMainSettings& settings, QString* errorText = nullptr);
