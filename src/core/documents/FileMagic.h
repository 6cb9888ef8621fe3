#pragma once

#include <string>

namespace DocumentType {

// What libmagic says of the file: its MIME type, the charset of a text, and
// (asked for only when the file is refused) its description. Its database is
// loaded only for a file whose first bytes did not tell its type.
struct Magic
{
    std::string mime, charset, description;
};

Magic AskMagic(int fd, bool describe);

} // namespace DocumentType
