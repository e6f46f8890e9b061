// The picture decoder: our own picture, and a bad one as an error.
#include "wizard/Unit_JpegImage.h"

#include <gtest/gtest.h>

#include <QFile>

#include "platform/Exceptions.h"

namespace {

TEST(JpegImage, DecodesOurPicture) {
    QFile file(":/Wizard.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const TRgbImage image = DecodeJpeg(std::string(bytes.constData(), bytes.size()));
    EXPECT_EQ(image.Width, 164);
    EXPECT_EQ(image.Height, 340);
    EXPECT_EQ(image.Pixels.size(), 164u * 340u * 3u);
}

TEST(JpegImage, BadPictureIsAnErrorNotTheEnd) {
    EXPECT_THROW(DecodeJpeg(""), Exception);
    EXPECT_THROW(DecodeJpeg("not a picture at all"), Exception);
    QFile file(":/Wizard.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    // Cut short inside the header tables.
    try {
        DecodeJpeg(std::string(bytes.constData(), 200));
        ADD_FAILURE() << "a truncated header decoded";
    } catch (const Exception& error) {
        EXPECT_NE(std::string(error.what()).find("picture"), std::string::npos) << error.what();
    }
}

}  // namespace
