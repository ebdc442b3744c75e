#include "ui/media_thumbnails.h"

#include <libheif/heif.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace ravlen::ui {
namespace {

// A picture larger than this is not decoded for a thumbnail: its pixels
// alone would take hundreds of megabytes.
constexpr long long kMaxPixels = 100'000'000;
// A movie that gives no picture within this many packets gives none.
constexpr int kMaxPackets = 500;

QSize Fitted(QSize size, QSize box) {
    if (size.width() <= box.width() && size.height() <= box.height()) return size;
    return size.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using HeifContext = std::unique_ptr<heif_context, Freer<heif_context, heif_context_free>>;
using HeifHandle = std::unique_ptr<heif_image_handle, Freer<const heif_image_handle, heif_image_handle_release>>;
using HeifImage = std::unique_ptr<heif_image, Freer<const heif_image, heif_image_release>>;

QImage Decoded(heif_image_handle* handle, QSize box) {
    const long long pixels = static_cast<long long>(heif_image_handle_get_width(handle)) *
                             heif_image_handle_get_height(handle);
    if (pixels <= 0 || pixels > kMaxPixels) return {};
    heif_image* raw = nullptr;
    if (heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code !=
        heif_error_Ok)
        return {};
    const HeifImage image(raw);
    int stride = 0;
    const uint8_t* data = heif_image_get_plane_readonly(raw, heif_channel_interleaved, &stride);
    const int width = heif_image_get_width(raw, heif_channel_interleaved);
    const int height = heif_image_get_height(raw, heif_channel_interleaved);
    if (!data || width <= 0 || height <= 0) return {};
    // The plane belongs to the image: the picture made from it is scaled (a copy) before it goes.
    const QImage view(data, width, height, stride, QImage::Format_RGBA8888);
    return view.scaled(Fitted(view.size(), box), Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

QImage Scaled(const AVFrame& frame, QSize box) {
    if (frame.width <= 0 || frame.height <= 0) return {};
    const QSize size = Fitted(QSize(frame.width, frame.height), box);
    SwsContext* scaler = sws_getContext(frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                        size.width(), size.height(), AV_PIX_FMT_RGB32, SWS_BILINEAR, nullptr,
                                        nullptr, nullptr);
    if (!scaler) return {};
    QImage image(size, QImage::Format_RGB32);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    const int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, planes, strides);
    sws_freeContext(scaler);
    return image;
}

// The first picture the decoder gives for the stream: its attached cover, or its first frame.
QImage FirstPicture(AVFormatContext& format, int stream, QSize box) {
    const AVStream& s = *format.streams[stream];
    const AVCodec* codec = avcodec_find_decoder(s.codecpar->codec_id);
    if (!codec) return {};
    const std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
    if (!decoder || avcodec_parameters_to_context(decoder.get(), s.codecpar) < 0) return {};
    if (static_cast<long long>(decoder->width) * decoder->height > kMaxPixels) return {};
    decoder->thread_count = 1;  // the thumbnail pool already runs readers side by side
    if (avcodec_open2(decoder.get(), codec, nullptr) < 0) return {};
    const std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
    const std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
    if (!frame || !packet) return {};
    const auto received = [&] { return avcodec_receive_frame(decoder.get(), frame.get()) == 0; };
    if (s.disposition & AV_DISPOSITION_ATTACHED_PIC) {
        if (av_packet_ref(packet.get(), &s.attached_pic) < 0 || avcodec_send_packet(decoder.get(), packet.get()) < 0)
            return {};
        avcodec_send_packet(decoder.get(), nullptr);
        return received() ? Scaled(*frame, box) : QImage();
    }
    for (int read = 0; read < kMaxPackets && av_read_frame(&format, packet.get()) >= 0; ++read) {
        const bool ours = packet->stream_index == stream;
        const bool sent = ours && avcodec_send_packet(decoder.get(), packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (sent && received()) return Scaled(*frame, box);
    }
    avcodec_send_packet(decoder.get(), nullptr);
    return received() ? Scaled(*frame, box) : QImage();
}

}  // namespace

QImage HeifThumbnail(const std::string& path, QSize box) {
    const HeifContext context(heif_context_alloc());
    if (!context || heif_context_read_from_file(context.get(), path.c_str(), nullptr).code != heif_error_Ok) return {};
    heif_image_handle* raw = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &raw).code != heif_error_Ok) return {};
    const HeifHandle primary(raw);
    heif_item_id thumbnail = 0;
    if (heif_image_handle_get_list_of_thumbnail_IDs(raw, &thumbnail, 1) == 1) {
        heif_image_handle* small = nullptr;
        if (heif_image_handle_get_thumbnail(raw, thumbnail, &small).code == heif_error_Ok) {
            const HeifHandle held(small);
            if (QImage image = Decoded(small, box); !image.isNull()) return image;
        }
    }
    return Decoded(raw, box);
}

QImage MovieFrame(const std::string& path, QSize box) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return {};
    const std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return {};
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (raw->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)
            if (QImage cover = FirstPicture(*raw, static_cast<int>(i), box); !cover.isNull()) return cover;
    const int video = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video < 0) return {};
    return FirstPicture(*raw, video, box);
}

}  // namespace ravlen::ui
