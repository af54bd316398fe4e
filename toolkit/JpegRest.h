#pragma once

#include "toolkit/JPEGImageDecoder.h"
#include "toolkit/JpegOrientation.h"

#include <QByteArray>
#include <QRect>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// The rows of a JPEG picture still to decode once its first view is shown:
// decoded on a thread of their own, straight into the picture's pixels,
// band by band. Only rows past the ready ones are ever written, so the
// picture's own thread may read the ready part meanwhile.
class TJpegRest {
public:
    // Takes over a started decoder, the bytes it keeps (which it reads from
    // or appends to) and the file it reads (closed when done; -1 for none).
    TJpegRest(std::unique_ptr<TJpegDecoder> Decoder, std::unique_ptr<QByteArray> Bytes, int File);
    // Stops the thread and waits for it.
    ~TJpegRest();
    TJpegRest(const TJpegRest&) = delete;
    TJpegRest& operator=(const TJpegRest&) = delete;

    // Decodes on the thread; again after Stop.
    void Go();
    // The thread ends after its band and is waited for; the rest waits.
    void Stop();
    // Decodes what is left in the calling thread, when the thread stopped
    // short, and waits for the thread.
    void Finish();
    bool Finished() const { return Done.load(); }

    // The part of the picture whose pixels are final. Asking for it lets the
    // next growth be announced.
    QRect ReadyRect() const;
    // Told on the decoding thread when ReadyRect grew (see TGraphic::OnGrow).
    void SetOnGrow(std::function<void()> OnGrow);

    // After Finish: the kept bytes and the warnings of the whole decode.
    QByteArray TakeBytes() { return std::move(*Bytes); }
    int Warnings() const { return FinalWarnings; }

private:
    void Run();
    // Decodes one band; false when nothing is left.
    bool Band();
    void Announce();
    void Wait();

    std::unique_ptr<TJpegDecoder> Decoder; // gone once all rows are done
    std::unique_ptr<QByteArray> Bytes;
    int File;
    const TOrientedRows Place;
    int FinalWarnings = 0;
    std::atomic<int> Rows;
    std::atomic<bool> Done{false};
    std::atomic<bool> Stopping{false};
    mutable std::atomic<bool> Announced{false};
    std::mutex NoticeLock;
    std::function<void()> OnGrow;
    std::thread Worker;
};
