// The outcomes of the camera operations, typed.
//
// The communication library's exports, the model's members and the
// control's automation members give an outcome as its status code: those
// numbers are the contract at the C boundary and stay as they are. Inside,
// the model and the hosts speak Status, where the two meanings of -8 are
// apart: a file the model could not read, and a Camera Link library (or a
// function of it) that is missing. Each Status has one description: the
// text of its message line, its plain words, and the string-table text of
// the automation error the control raises for it.
#pragma once

#include <array>
#include <string_view>

namespace vexq4::model {

enum class Status : int {
  kOk = 0,
  kOutOfRange = -1,
  kPortNotOpenable = -2,
  kNotAcknowledged = -3,
  kMalformedAnswer = -4,
  kOffline = -5,
  kTimeout = -6,
  kFileNotWritable = -7,
  kFileNotReadable = -8,
  kInvalidSettingsFile = -9,
  // Two more meanings of -8 at the boundary: a Camera Link library or
  // function that is missing, and a readable file that is no shading table
  // (the model's ShadingFileProblem says why).
  kLibraryMissing = -108,
  kNotAShadingTable = -208,
  // Camera Link serial errors pass through the library with their codes,
  // -10001 to -10099; these are the ones the standard names.
  kClBufferTooSmall = -10001,
  kClManufacturerMissing = -10002,
  kClPortInUse = -10003,
  kClTimeout = -10004,
  kClInvalidIndex = -10005,
  kClInvalidReference = -10006,
  kClErrorTextMissing = -10007,
  kClBaudRateNotSupported = -10008,
  kClOutOfMemory = -10009,
  kClUnableToLoadLibrary = -10098,
  kClFunctionNotFound = -10099,
};

// The code a status is at the boundary.
constexpr int CodeOf(Status status) {
  return status == Status::kLibraryMissing || status == Status::kNotAShadingTable
             ? -8
             : static_cast<int>(status);
}
// A code the communication library gave, as the model's camera and
// connection operations pass it on: -8 is a missing Camera Link library.
constexpr Status LibraryStatus(int code) {
  return code == -8 ? Status::kLibraryMissing : static_cast<Status>(code);
}
// A code one of the model's file operations gave (settings file, camera
// data report, shading files): -8 is the file that could not be read. The
// model's typed file operations keep the kinds of -8 apart themselves.
constexpr Status FileStatus(int code) { return static_cast<Status>(code); }

struct StatusDescription {
  Status status;
  // The text a message line shows for the outcome (padded with asterisks
  // to 46 characters, "COMPLETE" for success); empty: the line shows none.
  std::string_view line;
  // The outcome in plain words, as the hosts print it.
  std::string_view words;
  // The control's string-table text of the automation error raised for it
  // (0: none); the control's members say which outcomes raise.
  int stringId;
};

inline constexpr std::array kStatusDescriptions = {
    StatusDescription{Status::kOk, "COMPLETE", "COMPLETE", 0},
    StatusDescription{Status::kOutOfRange, "", "Invalid input parameter", 32796},
    StatusDescription{Status::kPortNotOpenable, "", "COM port not openable", 0},
    StatusDescription{Status::kNotAcknowledged, "Unknown Command ******************************",
                      "Unknown Command", 32797},
    StatusDescription{Status::kMalformedAnswer, "Unknown Command ******************************",
                      "Unknown Command", 32798},
    StatusDescription{Status::kOffline, "Operation failed. The Camera is offline ******",
                      "Operation failed. The Camera is offline", 32799},
    StatusDescription{Status::kTimeout, "Timeout waiting for answer *******************",
                      "Timeout waiting for answer", 0},
    StatusDescription{Status::kFileNotWritable, "", "Error writing to file", 32805},
    StatusDescription{Status::kFileNotReadable, "", "Error reading file", 32806},
    // The words name the file: DescribeStatus fills them in.
    StatusDescription{Status::kInvalidSettingsFile, "",
                      "The file \"%s\" is not a valid inifile for RX-Q4", 32807},
    StatusDescription{Status::kLibraryMissing, "", "Camera Link library or function missing", 0},
    StatusDescription{Status::kNotAShadingTable, "", "Error reading file", 32806},
    StatusDescription{Status::kClBufferTooSmall, "", "Camera Link: buffer too small", 0},
    StatusDescription{Status::kClManufacturerMissing, "",
                      "Camera Link: manufacturer does not exist", 0},
    StatusDescription{Status::kClPortInUse, "", "Camera Link: port in use", 0},
    StatusDescription{Status::kClTimeout, "", "Camera Link: time-out", 0},
    StatusDescription{Status::kClInvalidIndex, "", "Camera Link: invalid index", 0},
    StatusDescription{Status::kClInvalidReference, "", "Camera Link: invalid serial reference", 0},
    StatusDescription{Status::kClErrorTextMissing, "", "Camera Link: error text not found", 0},
    StatusDescription{Status::kClBaudRateNotSupported, "", "Camera Link: baud rate not supported",
                      0},
    StatusDescription{Status::kClOutOfMemory, "", "Camera Link: out of memory", 0},
    StatusDescription{Status::kClUnableToLoadLibrary, "", "Camera Link: unable to load a library",
                      0},
    StatusDescription{Status::kClFunctionNotFound, "", "Camera Link: function not found", 0},
};

// The description of `status`; a code the table does not know has no line,
// "error" as its words and no automation error of its own.
constexpr StatusDescription Describe(Status status) {
  for (const StatusDescription& d : kStatusDescriptions)
    if (d.status == status) return d;
  return {status, "", "error", 0};
}

}  // namespace vexq4::model
