#include "board_picture.h"

#include <QFile>
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <stdexcept>

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not
// return; the default one ends the process.  Ours jumps back to the decoder.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JumpOnError(j_common_ptr info) {
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    info->err->format_message(info, errors->message);
    std::longjmp(errors->jump, 1);
}

// Warnings (a file cut short, say) still give a picture; nobody reads them.
void IgnoreMessage(j_common_ptr) {}

// Decodes into `out`; false with the reason in `errors` when libjpeg gives
// up.  `out` and `errors` live in the caller's frame and nothing in this
// one has a destructor, so the jump back skips nothing.
bool Decompress(const unsigned char* data, unsigned long size, QImage& out, ErrorManager& errors) {
    jpeg_decompress_struct info;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = JumpOnError;
    errors.pub.output_message = IgnoreMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                 QImage::Format_RGB888);
    if (out.isNull()) {
        std::snprintf(errors.message, sizeof errors.message, "Picture too large");
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

} // namespace

QImage DecodeJpeg(const QByteArray& bytes) {
    ErrorManager errors{};
    QImage image;
    if (!Decompress(reinterpret_cast<const unsigned char*>(bytes.constData()),
                    static_cast<unsigned long>(bytes.size()), image, errors))
        throw std::runtime_error(errors.message);
    return image;
}

QByteArray BoardPictureBytes() {
    QFile file(":/board.jpg");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QImage& BoardPicture() {
    static const QImage picture = DecodeJpeg(BoardPictureBytes());
    return picture;
}
