#include "path_table.h"

#include <algorithm>

// A contact just made at a path's address (a joiner whose request came
// over the path) is answered over that path before it has its own.
void TPathTable::Send(const TpContact& contact, const std::string& bytes) {
    if (std::shared_ptr<TDatagramPath> path = PathOf(contact);
        path || (path = PathAt(contact->Address)))
        path->Send(bytes);
    else
        sendTo_(contact->Address, bytes);
}

void TPathTable::SendTo(const std::string& address, const std::string& bytes) {
    if (const std::shared_ptr<TDatagramPath> path = PathAt(address))
        path->Send(bytes);
    else
        sendTo_(address, bytes);
}

void TPathTable::SetPath(const TpContact& contact, std::shared_ptr<TDatagramPath> path) {
    ClearPath(contact);
    paths_.emplace_back(contact, std::move(path));
}

void TPathTable::ClearPath(const TpContact& contact) {
    std::erase_if(paths_, [&](const auto& entry) {
        const TpContact owner = entry.first.lock();
        return !owner || owner == contact;
    });
}

std::shared_ptr<TDatagramPath> TPathTable::PathOf(const TpContact& contact) {
    for (const auto& [owner, path] : paths_)
        if (owner.lock() == contact)
            return path;
    return nullptr;
}

std::shared_ptr<TDatagramPath> TPathTable::PathAt(const std::string& address) {
    for (const auto& [owner, path] : paths_)
        if (const TpContact contact = owner.lock(); contact && contact->Address == address)
            return path;
    return nullptr;
}
