#include "toolkit/JpegRest.h"

#include <unistd.h>

namespace {
// Rows decoded between two announcements: a band of a 6000-wide picture is
// about 1.5 MB, so a 4000-row picture grows in some sixty steps.
constexpr int BandRows = 64;
} // namespace

TJpegRest::TJpegRest(std::unique_ptr<TJpegDecoder> Decoder, std::unique_ptr<QByteArray> Bytes,
                     int File)
    : Decoder(std::move(Decoder)), Bytes(std::move(Bytes)), File(File),
      Place(this->Decoder->Placement()), Rows(this->Decoder->RowsDone()) {}

TJpegRest::~TJpegRest() {
    Stop();
    if (File >= 0)
        ::close(File);
}

void TJpegRest::Go() {
    Wait();
    if (Done.load())
        return;
    Stopping.store(false);
    Worker = std::thread([this] { Run(); });
}

void TJpegRest::Stop() {
    Stopping.store(true);
    Wait();
}

void TJpegRest::Wait() {
    if (Worker.joinable())
        Worker.join();
}

void TJpegRest::Finish() {
    Wait();
    while (Band()) {
    }
}

bool TJpegRest::Band() {
    if (Done.load())
        return false;
    const int before = Decoder->RowsDone();
    try {
        Decoder->ReadRows(before + BandRows);
    } catch (...) {
        // Damaged past the first view (or out of memory): what is missing
        // shows grey, as for a file cut short. Nothing leaves this thread.
        Decoder->FillRest();
        ++FinalWarnings;
    }
    if (Decoder->RowsDone() == before)
        Decoder->FillRest(); // a decoder that cannot go on
    Rows.store(Decoder->RowsDone());
    const bool more = Decoder->RowsDone() < Decoder->RowCount();
    if (!more) {
        FinalWarnings += Decoder->Result().Warnings;
        // The decoder's own memory (a progressive picture's coefficients) is
        // not kept past the decode; the picture's pixels stay with its owner.
        Decoder.reset();
        if (File >= 0) {
            ::close(File);
            File = -1;
        }
        Done.store(true);
    }
    Announce();
    return more;
}

void TJpegRest::Run() {
    while (!Stopping.load() && Band()) {
    }
}

QRect TJpegRest::ReadyRect() const {
    Announced.store(false);
    return Place.ReadyRect(Rows.load());
}

void TJpegRest::SetOnGrow(std::function<void()> Notice) {
    const std::lock_guard<std::mutex> guard(NoticeLock);
    OnGrow = std::move(Notice);
}

void TJpegRest::Announce() {
    if (Announced.exchange(true))
        return;
    const std::lock_guard<std::mutex> guard(NoticeLock);
    if (OnGrow)
        OnGrow();
}
