// Buffers the library hands to callers: each MapiMessage or MapiRecipDesc, with all its
// strings and arrays, is one allocation that MAPIFreeBuffer releases.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "providers/simplemapi/mime_reader.h"
#include "providers/simplemapi/simple_mapi.h"

namespace mapi {

// A zeroed block registered as live; null when memory is short.
void* AllocateMapiBuffer(size_t size);
// Releases a block of AllocateMapiBuffer. false (nothing done) for any other pointer,
// including one already released.
bool FreeMapiBuffer(void* buffer);
// Hands the open descriptors in *fds (files of CreateHeldFile) to a live block: they are
// closed, and the files' hold released, when the block is freed. false (nothing taken)
// when `buffer` is no live block.
bool HoldFilesWithBuffer(void* buffer, std::vector<int>* fds);
// Number of live blocks (for tests).
size_t LiveMapiBuffers();

// The message as one block; attachment i gets path attachmentPaths[i]. Null when memory
// is short.
MapiMessage* BuildMapiMessage(const IncomingMessage& message,
                              const std::vector<std::string>& attachmentPaths);

// One recipient as one block; null when memory is short.
MapiRecipDesc* BuildMapiRecipient(uint32_t recipClass, const std::string& name,
                                  const std::string& address);

}  // namespace mapi
