#pragma once
// The batch processor's commands: the table of the 21 commands with the layout of their
// values, the stored values they fall back to and what each one does to a document; the
// command records of a command list, and their description lines.
//
// A record holds the command number and the command's values as bytes (little-endian, in the
// layout of the table). A record without data, or whose data length differs from the table's,
// takes its values from the stored values that the effect dialogs keep ("StoredValues").

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/progress.h"
#include "audio/result.h"
#include "audio/sound_stream.h"
#include "settings/settings_store.h"
#include "store/sound_document.h"

namespace klangor {

// How one value is stored in a record.
enum class LBatchField { kU32, kS16, kU8, kS8 };

struct LBatchCommand;

// Receives the run's messages (why a file failed, which command was skipped).
using LBatchReport = std::function<void(const std::string& message)>;

// What a command's run function gets: the record, its values (BatchCommandValues) and the
// document whose whole sound is selected.
struct LBatchRunContext {
  const LBatchCommand& command;
  const std::vector<int32_t>& values;
  LSoundDocument& document;
  LProgress& progress;
  const LBatchReport& report;
};

struct LBatchCommandInfo {
  uint32_t number;
  const char* name;
  std::vector<LBatchField> fields;  // empty for commands without values or with a block
  uint32_t dataBytes;               // the data length a record must have; 0 without data
  const char* description;          // printf-style, empty for none
  // The stored values a record without its own values takes, in field order; the description
  // line shows `shownValues` instead where given (their defaults may differ).
  std::vector<LIntSetting> storedValues{};
  std::vector<LIntSetting> shownValues{};
  // What the command does.
  LResult (*run)(const LBatchRunContext& context) = nullptr;
  // For a command that is one pass of a stream over the whole sound: its result over `source`
  // (the whole sound so far, at frame 0, its length fixed) as a stream, with the samples that
  // `run` leaves in the document; nothing where `run` would fail.
  LRef<LSoundStream> (*stream)(const std::vector<int32_t>& values, LRef<LSoundStream> source) = nullptr;
};

// The 21 commands in number order (0 to 20).
const std::vector<LBatchCommandInfo>& BatchCommands();
const LBatchCommandInfo* FindBatchCommand(uint32_t number);

// Envelope and equalizer parameter blocks: records carry at least this many bytes.
inline constexpr uint32_t kParameterBlockBytes = 129;

struct LBatchCommand {
  uint32_t number = 0;
  std::vector<uint8_t> data;

  bool operator==(const LBatchCommand&) const = default;
};

// True when the record's data is in the table's layout (so its values are used).
bool HasOwnValues(const LBatchCommand& command);

// A record of `number` holding `values` (one per field, as decimal numbers); nothing when the
// command is unknown, takes a parameter block, or the count of values is wrong.
std::optional<LBatchCommand> MakeBatchCommand(uint32_t number, const std::vector<int32_t>& values);

// The command's values: its own, else the stored values (with the defaults of the running
// effect; see BatchDescriptionValues for the description's).
std::vector<int32_t> BatchCommandValues(const LBatchCommand& command, const LSettingsStore& settings);

// The description line shown next to the command's name (empty for commands without one).
std::string BatchCommandDescription(const LBatchCommand& command, const LSettingsStore& settings);

// The command's result over `source` as a stream (see LBatchCommandInfo::stream); nothing for
// a command that has no such form or cannot give it here.
LRef<LSoundStream> BatchCommandStream(const LBatchCommand& command, const LSettingsStore& settings,
                                      LRef<LSoundStream> source);

// Runs the command over the document's selection (the batch selects the whole sound). Unknown
// numbers are skipped.
LResult RunBatchCommand(const LBatchCommand& command, LSoundDocument& document, const LSettingsStore& settings,
                        LProgress& progress, const LBatchReport& report);

}  // namespace klangor
