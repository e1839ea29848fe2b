#include "contact_book.h"

#include <algorithm>

TContactBook::TContactBook()
    : outsider_(std::make_shared<TContact>(TContact{kOutsiderName, "", 0})) {}

TpContact TContactBook::At(int index) const {
    return index >= 0 && index < Count() ? contacts_[index] : outsider_;
}

int TContactBook::IndexOfAddress(const std::string& address) const {
    for (int i = 0; i < Count(); ++i)
        if (contacts_[i]->Address == address)
            return i;
    return -1;
}

int TContactBook::IndexOf(const TpContact& contact) const {
    const auto it = std::find(contacts_.begin(), contacts_.end(), contact);
    return it == contacts_.end() ? -1 : static_cast<int>(it - contacts_.begin());
}

int TContactBook::Add(const std::string& name, const std::string& address, int32_t tavloNumber) {
    contacts_.push_back(std::make_shared<TContact>(TContact{name, address, tavloNumber}));
    return Count() - 1;
}

void TContactBook::Append(const TpContact& contact) {
    contacts_.push_back(contact);
}

TpContact TContactBook::TakeAt(int index) {
    if (index < 0 || index >= Count())
        return nullptr;
    TpContact taken = contacts_[index];
    contacts_.erase(contacts_.begin() + index);
    return taken;
}

bool TContactBook::Take(const TpContact& contact) {
    return TakeAt(IndexOf(contact)) != nullptr;
}

void TContactBook::NoteSender(const std::string& address) {
    sender_ = IndexOfAddress(address);
    if (sender_ < 0)
        outsider_->Address = address;
}

std::vector<TpContact> TContactBook::Addressees(TSendMode mode) {
    if (mode == smResend)
        return {};
    if (mode == smAll) {
        lastTarget_ = Count() - 1;
        return contacts_;
    }
    const int index = mode == smSender       ? sender_
                      : mode == smLastTarget ? lastTarget_
                      : mode == smSelected   ? selected_
                                             : 0;
    lastTarget_ = index;
    return {At(index)};
}
