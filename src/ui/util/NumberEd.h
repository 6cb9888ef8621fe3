#pragma once

#include <QLineEdit>

#include <cstdint>

// A single-line edit that holds a 64-bit integer and shows it in decimal,
// zero-padded decimal, hexadecimal, octal or binary, optionally byte by byte
// and in digit groups. Typed keys are filtered by the number mode; text that
// is not a number reads as 0 with the error sound and CheckError() true.

enum TNumMode : std::uint8_t
{
    nmDecimal,
    nmHex,
    nmOctal,
    nmBin,
    nmZeroDec
};

enum TAlignment : std::uint8_t
{
    taLeftJustify,
    taRightJustify,
    taCenter
};

class TCustomNumEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit TCustomNumEdit(QWidget* parent = nullptr);

    // Left and right swap in right-to-left layouts.
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment alignment);
    // Select the whole text when the focus arrives other than by a mouse click.
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool autoSelect) { FAutoSelect = autoSelect; }

    virtual bool IsValidChar(QChar key);
    virtual void IncrementValue(int delta);

    // Hide QLineEdit's slots so that a read-only control ignores them.
    void cut();
    void paste();

Q_SIGNALS:
    // The error sound was played: a refused key or a text that is not a number.
    void ErrorSound();

protected:
    void PlayErrorSound();
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSelect = true;
};

class TNumberEdit : public TCustomNumEdit
{
    Q_OBJECT
public:
    explicit TNumberEdit(QWidget* parent = nullptr);

    bool IsValidChar(QChar key) override;
    void IncrementValue(int delta) override;
    virtual void SetValue(qint64 value);
    // Parses the shown text (parts split at "_" are bytes, most significant
    // first); sets CheckError() when a part is not a number.
    qint64 GetValue();

    quint16 Bits() const { return FBits; }
    void SetBits(quint16 bits); // 0 stores 32
    quint16 Digits() const { return FDigits; }
    void SetDigits(quint16 digits);
    quint16 GroupDigits() const { return FGroupDigits; }
    void SetGroupDigits(quint16 groupDigits);
    bool Prefix() const { return FPrefix; }
    void SetPrefix(bool prefix);
    bool Bytes() const { return FBytes; }
    void SetBytes(bool bytes);
    TNumMode NumMode() const { return FNumMode; }
    void SetNumMode(TNumMode numMode);
    bool CheckError() const { return FConvertError; }

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString FormatNumber(qint64 value, TNumMode mode, int digits) const;
    template <typename T>
    void SetFormatProperty(T& field, T value);

    qint64 FValue = 0;
    quint16 FBits = 32;
    quint16 FDigits = 0;
    quint16 FGroupDigits = 0;
    bool FConvertError = false;
    bool FPrefix = true;
    bool FBytes = false;
    TNumMode FInpNumMd = nmDecimal;
    TNumMode FNumMode = nmDecimal;
};
