// The palette glyphs as the module's resources hold them.
#include <QFile>
#include <QImage>
#include <QSet>
#include <QtEndian>

#include <gtest/gtest.h>

namespace {

const char *const GlyphNames[]
    = {"TOVDATABASE", "TOVMACROQUERY",    "TOVMONITOR",    "TOVQUERY", "TOVSCRIPT",
       "TOVSESSION",  "TOVSQLBASESERVER", "TOVSTOREDPROC", "TOVTABLE", "TOVUPDATESQL"};

// The standard 16-colour palette as (blue, green, red, 0) quadruples.
const unsigned char Palette[16][3]
    = {{0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
       {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
       {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};

quint32 u32(const QByteArray &B, int At)
{
    return qFromLittleEndian<quint32>(B.constData() + At);
}
quint16 u16(const QByteArray &B, int At)
{
    return qFromLittleEndian<quint16>(B.constData() + At);
}

TEST(Glyphs, EachIsA392ByteFourBitBitmapOnSilver)
{
    QSet<QByteArray> pictures;
    for (const char *name : GlyphNames) {
        SCOPED_TRACE(name);
        QFile f(QStringLiteral(":/") + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << "resource present";
        const QByteArray dib = f.readAll();
        ASSERT_EQ(dib.size(), 392);
        EXPECT_EQ(u32(dib, 0), 40u) << "BITMAPINFOHEADER size";
        EXPECT_EQ(u32(dib, 4), 24u) << "width";
        EXPECT_EQ(u32(dib, 8), 24u) << "height, positive: bottom row first";
        EXPECT_EQ(u16(dib, 12), 1) << "planes";
        EXPECT_EQ(u16(dib, 14), 4) << "bits per pixel";
        EXPECT_EQ(u32(dib, 16), 0u) << "BI_RGB";
        const quint32 clrUsed = u32(dib, 32);
        EXPECT_TRUE(clrUsed == 0 || clrUsed == 16) << "sixteen palette entries";
        for (int i = 0; i < 16; ++i) {
            const int at = 40 + 4 * i;
            const unsigned char r = Palette[i][0], g = Palette[i][1], b = Palette[i][2];
            EXPECT_EQ(static_cast<unsigned char>(dib[at]), b) << "palette blue " << i;
            EXPECT_EQ(static_cast<unsigned char>(dib[at + 1]), g) << "palette green " << i;
            EXPECT_EQ(static_cast<unsigned char>(dib[at + 2]), r) << "palette red " << i;
            EXPECT_EQ(dib[at + 3], 0) << "palette reserved " << i;
        }
        const int pixels = 104;
        EXPECT_EQ((static_cast<unsigned char>(dib[pixels]) >> 4), 8)
            << "lower-left pixel is the silver background";

        // A person can tell them apart: no two pictures are the same, and each
        // draws more than its background.
        const QByteArray picture = dib.mid(pixels);
        EXPECT_FALSE(pictures.contains(picture)) << "a picture of its own";
        pictures.insert(picture);
        int drawn = 0;
        for (char byte : picture)
            drawn += ((byte >> 4) & 15) != 8 ? 1 : 0;
        EXPECT_GT(drawn, 40) << "more than a few pixels drawn";

        // And it is a bitmap any reader can show, once given a file header.
        QByteArray file("BM");
        file += QByteArray(12, '\0');
        qToLittleEndian<quint32>(14 + dib.size(), file.data() + 2);
        qToLittleEndian<quint32>(14 + 40 + 64, file.data() + 10);
        const QImage image = QImage::fromData(file + dib, "BMP");
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(24, 24));
        EXPECT_EQ(image.pixel(0, 23), qRgb(192, 192, 192));
    }
}

} // namespace
