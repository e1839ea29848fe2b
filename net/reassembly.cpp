#include "reassembly.h"

std::unique_ptr<TQMsg> TReassembler::Add(std::string_view bytes, const std::string& fromIP) {
    if (partial_ && partial_->FromAddress != fromIP)
        partial_.reset();
    if (!partial_) {
        partial_ = std::make_unique<TQMsg>();
        partial_->FromAddress = fromIP;
    }
    partial_->AppendReceived(bytes);
    int missing = 0;
    try {
        missing = partial_->Decode(false);
    } catch (const DatagramError&) {
        partial_.reset();
        return nullptr;
    }
    if (partial_->TotalLength() == 0) { // not even a header
        partial_.reset();
        return nullptr;
    }
    if (missing > 0)
        return nullptr;
    return std::move(partial_);
}
