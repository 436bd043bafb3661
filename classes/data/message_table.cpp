// The application's built-in message table, packed as the reporter reads it: a little-endian
// record count, then per record id (2 bytes, little-endian), severity (1), title length (1), the
// title, text length (1), the text. The bytes are laid out at compile time from the list below, so
// the table is static data that the reporter reads in place.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "classes/data/error_reporter.h"

namespace docket::classes {
namespace {

struct Message {
    std::uint16_t id;
    std::uint8_t severity;
    std::string_view title;
    std::string_view text;
};

// The double blanks after some full stops and the trailing blank of 42 to 44 belong to the texts.
constexpr Message kMessages[] = {
    {1, 5, "Record Retrieval Error",
     "Error: (%ErrorText) attempting to access a record from the %File file.  Returning to previous window."},
    {2, 5, "Access Denied", "Could not get write access to %File so trying read-only."},
    {3, 1, "Record Added", "This record has been added to the file. Do you want to add another record?"},
    {4, 5, "Record Insert Error",
     "An error was experienced during the creation of a record. Error: %ErrorText."},
    {5, 5, "Add New Record?", "Record match not found, do you wish to add a new one?"},
    {6, 5, "Record Was Not Updated", "This record was changed by another station."},
    {7, 5, "Record Was Not Updated",
     "This record was changed by another station. Those changes will now be displayed. Use the Ditto Button "
     "or "
     "Ctrl+' to recall your changes."},
    {8, 1, "Changes will be lost!", "Are you sure you want to cancel?"},
    {9, 1, "Confirm Delete", "Are you sure you want to delete the highlighted record?"},
    {10, 3, "File Creation Error", "Error: (%ErrorText) creating %File."},
    {11, 5, "Record was not deleted",
     "An error (%ErrorText) was experienced when deleting a record from the %File file."},
    {12, 5, "Invalid Request", "This form cannot be used to delete a record"},
    {13, 5, "Duplicate Key Error", "Adding this record creates a duplicate entry for the key: %Message"},
    {14, 5, "Field contents error", "The value of %Field must be found in the %Message file."},
    {15, 5, "Value Error", "The value of %Field must be in the list : %Message."},
    {16, 5, "Range Error", "The value of %Field must be in range %Message."},
    {17, 5, "Range Error", "The value of %Field must be lower than %Message."},
    {18, 5, "Range Error", "The value of %Field must be higher than %Message."},
    {19, 5, "File Load Error", "%File File Load Error.  Error: %ErrorText."},
    {20, 5, "Invalid Request", "This form cannot be used to insert a record"},
    {21, 5, "Transaction cancelled", "Error: (%ErrorText) attempting to frame the transaction on %File."},
    {22, 5, "No Records", "There are no records available to process."},
    {23, 3, "File Access Error", "File (%File) could not be opened.  Error: %ErrorText."},
    {24, 5, "Procedure not defined", "The Procedure %Message has not been defined."},
    {25, 5, "Record was not updated",
     "An error (%ErrorText) was experienced when making changes to the %File file."},
    {26, 3, "Key was not built", "Error: (%ErrorText) repairing key for %File."},
    {27, 5, "Invalid Key", "%File key file is invalid. Key must be rebuilt."},
    {28, 5, "Record not read",
     "A record held by another station was encountered reading from the %File file."},
    {30, 5, "Referential Integrity Delete Error",
     "This record is referenced from the file %File. This record cannot be deleted while these references "
     "exist."},
    {31, 5, "Referential Integrity Update Error",
     "This record is referenced from the file %File. Linking field(s) have been restricted from change and "
     "have "
     "been reset to original values."},
    {32, 1, "Auto Increment Error",
     "Attempts to automatically number this record have failed.  Error: %ErrorText. Try Again?"},
    {33, 1, "Record Delete Error",
     "An error was experienced deleting this record. Do you want to try to delete it again?"},
    {34, 1, "Record Update Error",
     "An error was experienced changing this record. Do you want to try to save again?"},
    {35, 1, "Save Record", "Do you want to save the changes to this record?"},
    {36, 1, "Beginning of File Error",
     "The beginning of the file was encountered. Do you want to start again from the end of the file?"},
    {37, 1, "End of File Error",
     "The end of the file was encountered. Do you want to start again from the beginning?"},
    {38, 5, "Invalid Request", "This form cannot be used to update a record"},
    {39, 2, "File Usage Error", "Attempt to use file (%File) before it was opened"},
    {40, 5, "View Open Error",
     "Error: (%ErrorText) attempting to open the current VIEW. Filter and Range Limits ignored."},
    {41, 5, "Unsupported QBE Column",
     "The saved QBE column, %Field is not supported. It will be dropped from the query."},
    {42, 5, "SMTP Error", "The following SMTP Error occurred: %Message "},
    {43, 5, "NNTP Error", "%Message "},
    {44, 5, "Winsock Error", "%Message "},
};

constexpr std::size_t packedSize() {
    std::size_t size = 2;
    for (const Message& m : kMessages) size += 2 + 1 + 1 + m.title.size() + 1 + m.text.size();
    return size;
}

constexpr bool fitsCounts() {
    for (const Message& m : kMessages)
        if (m.title.size() > 255 || m.text.size() > 255) return false;
    return std::size(kMessages) <= 0xFFFF;
}
static_assert(fitsCounts(), "titles and texts of a packed table are at most 255 bytes");

constexpr auto pack() {
    std::array<std::uint8_t, packedSize()> out{};
    std::size_t at = 0;
    auto put = [&](std::size_t value) { out[at++] = static_cast<std::uint8_t>(value & 0xFF); };
    auto putText = [&](std::string_view text) {
        put(text.size());
        for (char c : text) put(static_cast<unsigned char>(c));
    };
    put(std::size(kMessages));
    put(std::size(kMessages) >> 8);
    for (const Message& m : kMessages) {
        put(m.id);
        put(m.id >> 8);
        put(m.severity);
        putText(m.title);
        putText(m.text);
    }
    return out;
}

constexpr auto kPacked = pack();

} // namespace

std::span<const std::uint8_t> builtInMessageTable() {
    return kPacked;
}

} // namespace docket::classes
