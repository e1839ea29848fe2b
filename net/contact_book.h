// The contact table: the peers of the group in the order they became
// known, and the outsider "Dummy", never in the table, which stands for any
// peer that is not (yet) in it.  Beside the table, the positions the send
// modes name: the selected contact, the last single target and the sender
// of the message being handled (-1, or any index out of range, is the
// outsider).
#pragma once

#include "contact.h"

#include <string>
#include <vector>

// Whom a message is sent to.  Any other value addresses the contact at index 0.
enum TSendMode : int {
    smSender = 0,     // the sender of the message being handled (during
                      // an admission: the joiner)
    smLastTarget = 1, // the contact addressed by the last single-target send
    smSelected = 2,   // the selected contact (the host during Connect)
    smAll = 3,        // every contact, in table order
    smResend = 4,     // the addressees already listed in the message
};

// The outsider contact's name.
inline constexpr const char* kOutsiderName = "Dummy";

class TContactBook {
  public:
    TContactBook();

    int Count() const { return static_cast<int>(contacts_.size()); }
    // The outsider for an index out of range.
    TpContact At(int index) const;
    const TpContact& Outsider() const { return outsider_; }
    const std::vector<TpContact>& All() const { return contacts_; }
    // The first contact with exactly this address; -1 if none.
    int IndexOfAddress(const std::string& address) const;
    int IndexOf(const TpContact& contact) const;
    bool Holds(const TpContact& contact) const { return IndexOf(contact) >= 0; }

    // Appends a new contact; its index (always the last).
    int Add(const std::string& name, const std::string& address, int32_t tavloNumber);
    void Append(const TpContact& contact);
    // Takes the entry out of the table; null for an index out of range.
    TpContact TakeAt(int index);
    // Takes the first entry that is this record out; whether there was one.
    bool Take(const TpContact& contact);

    int Selected() const { return selected_; }
    void Select(int index) { selected_ = index; }
    void SetLastTarget(int index) { lastTarget_ = index; }
    // The message being handled came from this address: its contact is the
    // sender, or the outsider, which takes the address, when it is not in
    // the table.
    void NoteSender(const std::string& address);
    void SetSender(int index) { sender_ = index; }
    TpContact Sender() const { return At(sender_); }

    // The addressees a send mode names (none for smResend), noting the
    // last target.
    std::vector<TpContact> Addressees(TSendMode mode);

  private:
    std::vector<TpContact> contacts_;
    TpContact outsider_;
    int selected_ = 0;
    int lastTarget_ = 0;
    int sender_ = 0;
};
