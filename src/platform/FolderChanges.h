#pragma once

#include <QString>
#include <set>

// Where a watched tree changed since its handle was last re-armed. Known is false
// when the notifier cannot vouch for the sets (events lost, watches missing or
// still being added): anything in the tree may have changed.
struct FolderChanges
{
    bool Known = false;
    std::set<QString> Changed; // folders whose own entries changed
    std::set<QString> Created; // folders created or moved in, with everything below them

    // What both saw; unknown if either is.
    void Merge(const FolderChanges& other)
    {
        Known = Known && other.Known;
        if (!Known) {
            Changed.clear();
            Created.clear();
            return;
        }
        Changed.insert(other.Changed.begin(), other.Changed.end());
        Created.insert(other.Created.begin(), other.Created.end());
    }
    static FolderChanges None()
    {
        FolderChanges changes;
        changes.Known = true;
        return changes;
    }
};
