#include "support/PdfWriter.h"

#include <QCryptographicHash>
#include <QList>

#include <numeric>

namespace testing_support {

namespace {

const QByteArray Padding = QByteArray::fromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");

QByteArray Rc4(const QByteArray& key, const QByteArray& data)
{
    unsigned char s[256];
    std::iota(s, s + 256, 0);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    QByteArray out = data;
    for (qsizetype n = 0, i = 0, j = 0; n < out.size(); ++n) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        out[n] = static_cast<char>(out[n] ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

QByteArray Md5(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QByteArray PaddedPassword(const QByteArray& password)
{
    return QByteArray(password + Padding).left(32);
}

// The standard security handler, revision 2 with a 40-bit key.
struct Encryption
{
    static constexpr qint32 Permissions = -64; // bits 3 to 6 clear: no printing, changing or copying
    QByteArray id = Md5("morvane test document");
    QByteArray owner;
    QByteArray user;
    QByteArray key;

    Encryption()
    {
        owner = Rc4(Md5(PaddedPassword("owner-secret")).left(5), PaddedPassword({}));
        QByteArray seed = PaddedPassword({}) + owner;
        const auto p = static_cast<quint32>(Permissions);
        for (int i = 0; i < 4; ++i)
            seed += static_cast<char>((p >> (8 * i)) & 0xFF);
        key = Md5(seed + id).left(5);
        user = Rc4(key, Padding);
    }

    QByteArray encrypt(int object, const QByteArray& data) const
    {
        QByteArray objectKey = key;
        for (int i = 0; i < 3; ++i)
            objectKey += static_cast<char>((object >> (8 * i)) & 0xFF);
        objectKey += QByteArray(2, '\0');
        return Rc4(Md5(objectKey).left(10), data);
    }
};

} // namespace

QByteArray MakePdf(const PdfSpec& layout)
{
    const int pages = qMax(1, layout.pages);
    const Encryption encryption;
    const bool encrypted = !layout.allowPrinting;

    // Objects 1 catalog, 2 page tree, 3 font, then a page and its content per page.
    QList<QByteArray> objects;
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(4 + 2 * i) + " 0 R ";
    objects << "<< /Type /Catalog /Pages 2 0 R >>";
    objects << "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects << "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    for (int i = 0; i < pages; ++i) {
        const int contentObject = 5 + 2 * i;
        objects << "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 3 0 R >> >> "
                   "/Contents " +
                       QByteArray::number(contentObject) + " 0 R >>";
        QByteArray text = "BT /F1 24 Tf 72 720 Td (Page " + QByteArray::number(i + 1) + ") Tj ET";
        if (encrypted)
            text = encryption.encrypt(contentObject, text);
        objects << "<< /Length " + QByteArray::number(text.size()) + " >>\nstream\n" + text + "\nendstream";
    }
    if (encrypted)
        objects << "<< /Filter /Standard /V 1 /R 2 /O <" + encryption.owner.toHex() + "> /U <" +
                       encryption.user.toHex() + "> /P " + QByteArray::number(Encryption::Permissions) + " >>";

    QByteArray pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << pdf.size();
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : std::as_const(offsets))
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R";
    if (encrypted)
        pdf += " /Encrypt " + QByteArray::number(objects.size()) + " 0 R";
    pdf += " /ID [<" + encryption.id.toHex() + "> <" + encryption.id.toHex() + ">] >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return pdf;
}

} // namespace testing_support
