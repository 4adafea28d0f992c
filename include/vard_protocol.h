// Wire format between VARD32.dll and the data-pool server.
//
// Every request the library sends sits at the start of the 64 KiB request
// block; this header is the one place its layout is written down. The library
// and the server both include it, and the static_asserts below pin every field
// to its byte offset so a layout change cannot slip through either side.
//
// Plain C++17, no Windows headers: the server's portable core and the native
// fuzzers include it too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vard::proto {

constexpr std::uint32_t kBlockSize = 0x10000;     // the shared request block
constexpr char kMessageName[] = "zorVardServer";   // registered window message
constexpr char kServerClass[] = "zorVardServer";   // server window class
constexpr char kServerProgram[] = "vardthk.dll";   // server executable's file name

// Operation codes carried in wParam.
enum Opcode : std::uint32_t {
  kAttach = 1,
  kDetach = 2,
  kInit = 3,
  kExit = 4,
  kGetType = 5,
  kGetDescription = 6,
  kDeleteSubTree = 7,
  kDeleteVariable = 8,
  kLockWaveform = 10,
  kGetHorizontal = 11,
  kGetVertical = 12,
  kGetWaveformData = 13,
  kUnlockWaveform = 14,
  kGetWaveformValue = 15,
  kGetBlockInfo = 16,
  kCreateWaveform = 20,
  kOpenWaveform = 21,
  kWriteHorizontal = 22,
  kWriteVertical = 23,
  kWriteWaveform = 24,
  kReadWaveform = 25,
  kSetWaveformLength = 26,
  kCloseWaveform = 27,
  kWriteBlockInfo = 28,
  kGetWaveformDataType = 29,
  kGetString = 40,
  kCreateString = 41,
  kSetString = 42,
  kGetNumber = 43,
  kGetUnits = 44,
  kCreateNumber = 45,
  kSetNumber = 46,
  kSetDescription = 47,
  kSetUnits = 48,
  kAddFormula = 60,
  kDeleteFormula = 61,
  kShowFormulaEditor = 62,
  kExpandTextEx = 63,
  kSetFormula = 64,
  kWaveformMinMax = 70,
  kWaveformFastMinMax = 71,
  kWaveformFindLocalExtreme = 72,
  kWaveformFindLevelCrossing = 73,
  kWaveformStatistics = 74,
  kWaveformHistogram = 75,
  kWaveformPulseParameters = 76,
  kWaveformPeriod = 77,
  kWaveformLinFit = 78,
  kCreateCollection = 80,
  kAddToCollection = 81,
  kCloseCollection = 82,
  kLoadCollection = 83,
  kGetVariablesInPath = 90,
  kFindFirstVariable = 91,
  kFindNextVariable = 92,
  kFindVariableClose = 93,
  kIsDigitalWaveform = 95,
  kIsIntegerWaveform = 96,
  kStlCrest = 100,
  kStlFindSignalLoop = 101,
  kStlCrestMethod = 102,
  kDdeCommand = 110,
  kDdeRequest = 111,
};

#pragma pack(push, 1)

// Deletion and the two waveform tests.
struct VariableRequest {
  std::uint32_t RecordSize;
  char Name[30];
  char NavigatorPathName[170];
};

// Numbers, strings, units and descriptions.
struct ScalarRequest {
  std::uint32_t RecordSize;
  char Name[30];
  char String[256];
  char Units[10];
  char Path[256];
  char Description[144];
  double Value;
};

// Every waveform operation (and GetType). Samples follow the record.
struct WaveformRequest {
  std::uint32_t RecordSize;
  char Name[500];
  char Path[256];
  char XUnits[10];
  char YUnits[10];
  std::int16_t Type;
  std::uint16_t Reserved;
  std::int32_t FirstSample;
  std::int32_t LastSample;
  std::int32_t Length;
  double X0;
  double XStep;
  double YStep;
  double Y0;
  double TriggerTime;
  std::int16_t Year;
  std::int16_t Month;
  std::int16_t Day;
  std::int16_t Waveform;
  std::int16_t DataType;
  std::int16_t Src;
  std::int16_t Block;
  std::uint16_t Reduction;
};
constexpr std::uint32_t kSampleAreaOffset = 852;
constexpr std::uint32_t kSampleAreaSize = 64674;
// GetType clears a whole WaveformRequest but announces only this many bytes.
constexpr std::uint32_t kGetTypeRecordSize = 4;

// The nine waveform analyses. Histogram counts follow the record.
struct AnalysisRequest {
  std::uint32_t RecordSize;
  char Name[30];
  std::int16_t Block;
  std::int16_t Direction;
  std::int16_t ExtremeType;
  std::int16_t CrossingType;  // CrossingTypeFound on the way back
  std::int16_t NumberOfBins;
  double XBegin;
  double XEnd;
  double Min;
  double Max;
  double MinPos;
  double MaxPos;
  double Hysterese;
  double Level;  // Value on the way back from a local-extreme search
  double Position;
  double Mean;
  double RMS;
  double Sigma;
  double AreaUnderCurve;
  double EnergyUnderCurve;
  double Ytop;
  double Ybottom;
  std::uint32_t HistogramAddress;
  double RiseTime;
  double FallTime;
  double Duration;
  double Period;
  double Y0;
  double Slope;
};
constexpr std::int32_t kMaxHistogramBins = (kBlockSize - 224) / 4 - 2;  // 16326

// Crest and signal-loop requests; positions deliberately match AnalysisRequest.
struct StlRequest {
  std::uint32_t RecordSize;
  char Name[30];
  std::int16_t Reserved;
  std::int16_t ShortArg1;
  std::int16_t ShortResult;
  std::int16_t ShortArg2;         // Stl_FindSignalLoop
  std::int16_t ShortArg2Method;   // Stl_CrestMethod
  double RealArg1;
  double RealArg2;                // Stl_FindSignalLoop
  double Result60;                // Stl_Crest RealResult1
  double Result68;                // Stl_Crest RealResult2
  double Result76;                // Stl_Crest RealResult3, Stl_FindSignalLoop RealResult1
  double Result84;                // Stl_Crest RealResult4, Stl_FindSignalLoop RealResult2
  double RealArg3;
  double RealArg4;
  double RealArg5;
  double Result116;               // Stl_CrestMethod RealResult1
  double Result124;               // Stl_CrestMethod RealResult2
};

// FindFirstVariable / FindNextVariable / FindVariableClose.
struct EnumerationRequest {
  std::uint32_t RecordSize;
  std::uint16_t Filter;
  std::uint16_t Reserved;
  std::uint32_t FindHandle;
  char VarName[30];
  char Path[258];
};

// GetVariablesInPath; the name list follows the record.
struct PathListRequest {
  std::uint32_t RecordSize;
  std::uint16_t Filter;
  std::uint16_t Capacity;
  char PathPrefix[170];
  std::uint8_t Reserved[6];
};
constexpr std::uint32_t kPathListOffset = 184;
constexpr std::uint16_t kPathListMaxCapacity = 0xFF3E;  // 65342

// Formula database and text expansion.
struct FormulaRequest {
  std::uint32_t RecordSize;
  std::int16_t Row;
  std::uint16_t OutputLimit;
  char Name[30];
  char Formula[160];
  char Units[10];
  char Description[144];
  char InputText[8192];
  char OutputText[24576];
};
constexpr std::uint16_t kMaxExpandOutput = 24575;

// Collections.
struct CollectionRequest {
  std::uint32_t RecordSize;
  char PathName[256];
  char Comment[4096];
  std::int16_t Coll;
  char VarName[30];
  char Name[30];
  std::uint16_t Options;
  char Prefix[30];
  std::uint16_t Reserved;
};

// DDE relay. The command/item text starts inside the record and may run on
// to the end of its area; only the part inside the record is cleared.
struct DdeRequest {
  std::uint32_t RecordSize;
  std::int32_t TimeOut;
  char App[30];
  char Topic[256];
  char Text[414];
};
constexpr std::uint32_t kDdeTextOffset = 294;
constexpr std::uint32_t kDdeTextMax = 65024;

#pragma pack(pop)

// Record sizes as the library announces them in RecordSize.
template <class R> constexpr std::uint32_t kRecordSize = sizeof(R);

#define VARD_FIELD(rec, field, off) \
  static_assert(offsetof(rec, field) == (off), #rec "::" #field " offset")

static_assert(sizeof(VariableRequest) == 204);
VARD_FIELD(VariableRequest, Name, 4);
VARD_FIELD(VariableRequest, NavigatorPathName, 34);

static_assert(sizeof(ScalarRequest) == 708);
VARD_FIELD(ScalarRequest, Name, 4);
VARD_FIELD(ScalarRequest, String, 34);
VARD_FIELD(ScalarRequest, Units, 290);
VARD_FIELD(ScalarRequest, Path, 300);
VARD_FIELD(ScalarRequest, Description, 556);
VARD_FIELD(ScalarRequest, Value, 700);

static_assert(sizeof(WaveformRequest) == 852);
VARD_FIELD(WaveformRequest, Name, 4);
VARD_FIELD(WaveformRequest, Path, 504);
VARD_FIELD(WaveformRequest, XUnits, 760);
VARD_FIELD(WaveformRequest, YUnits, 770);
VARD_FIELD(WaveformRequest, Type, 780);
VARD_FIELD(WaveformRequest, Reserved, 782);
VARD_FIELD(WaveformRequest, FirstSample, 784);
VARD_FIELD(WaveformRequest, LastSample, 788);
VARD_FIELD(WaveformRequest, Length, 792);
VARD_FIELD(WaveformRequest, X0, 796);
VARD_FIELD(WaveformRequest, XStep, 804);
VARD_FIELD(WaveformRequest, YStep, 812);
VARD_FIELD(WaveformRequest, Y0, 820);
VARD_FIELD(WaveformRequest, TriggerTime, 828);
VARD_FIELD(WaveformRequest, Year, 836);
VARD_FIELD(WaveformRequest, Month, 838);
VARD_FIELD(WaveformRequest, Day, 840);
VARD_FIELD(WaveformRequest, Waveform, 842);
VARD_FIELD(WaveformRequest, DataType, 844);
VARD_FIELD(WaveformRequest, Src, 846);
VARD_FIELD(WaveformRequest, Block, 848);
VARD_FIELD(WaveformRequest, Reduction, 850);
static_assert(kSampleAreaOffset + kSampleAreaSize == 65526);

static_assert(sizeof(AnalysisRequest) == 224);
VARD_FIELD(AnalysisRequest, Name, 4);
VARD_FIELD(AnalysisRequest, Block, 34);
VARD_FIELD(AnalysisRequest, Direction, 36);
VARD_FIELD(AnalysisRequest, ExtremeType, 38);
VARD_FIELD(AnalysisRequest, CrossingType, 40);
VARD_FIELD(AnalysisRequest, NumberOfBins, 42);
VARD_FIELD(AnalysisRequest, XBegin, 44);
VARD_FIELD(AnalysisRequest, XEnd, 52);
VARD_FIELD(AnalysisRequest, Min, 60);
VARD_FIELD(AnalysisRequest, Max, 68);
VARD_FIELD(AnalysisRequest, MinPos, 76);
VARD_FIELD(AnalysisRequest, MaxPos, 84);
VARD_FIELD(AnalysisRequest, Hysterese, 92);
VARD_FIELD(AnalysisRequest, Level, 100);
VARD_FIELD(AnalysisRequest, Position, 108);
VARD_FIELD(AnalysisRequest, Mean, 116);
VARD_FIELD(AnalysisRequest, RMS, 124);
VARD_FIELD(AnalysisRequest, Sigma, 132);
VARD_FIELD(AnalysisRequest, AreaUnderCurve, 140);
VARD_FIELD(AnalysisRequest, EnergyUnderCurve, 148);
VARD_FIELD(AnalysisRequest, Ytop, 156);
VARD_FIELD(AnalysisRequest, Ybottom, 164);
VARD_FIELD(AnalysisRequest, HistogramAddress, 172);
VARD_FIELD(AnalysisRequest, RiseTime, 176);
VARD_FIELD(AnalysisRequest, FallTime, 184);
VARD_FIELD(AnalysisRequest, Duration, 192);
VARD_FIELD(AnalysisRequest, Period, 200);
VARD_FIELD(AnalysisRequest, Y0, 208);
VARD_FIELD(AnalysisRequest, Slope, 216);
static_assert(kMaxHistogramBins == 16326);

static_assert(sizeof(StlRequest) == 132);
VARD_FIELD(StlRequest, Name, 4);
VARD_FIELD(StlRequest, ShortArg1, 36);
VARD_FIELD(StlRequest, ShortResult, 38);
VARD_FIELD(StlRequest, ShortArg2, 40);
VARD_FIELD(StlRequest, ShortArg2Method, 42);
VARD_FIELD(StlRequest, RealArg1, 44);
VARD_FIELD(StlRequest, RealArg2, 52);
VARD_FIELD(StlRequest, Result60, 60);
VARD_FIELD(StlRequest, Result68, 68);
VARD_FIELD(StlRequest, Result76, 76);
VARD_FIELD(StlRequest, Result84, 84);
VARD_FIELD(StlRequest, RealArg3, 92);
VARD_FIELD(StlRequest, RealArg4, 100);
VARD_FIELD(StlRequest, RealArg5, 108);
VARD_FIELD(StlRequest, Result116, 116);
VARD_FIELD(StlRequest, Result124, 124);

static_assert(sizeof(EnumerationRequest) == 300);
VARD_FIELD(EnumerationRequest, Filter, 4);
VARD_FIELD(EnumerationRequest, FindHandle, 8);
VARD_FIELD(EnumerationRequest, VarName, 12);
VARD_FIELD(EnumerationRequest, Path, 42);

static_assert(sizeof(PathListRequest) == 184);
VARD_FIELD(PathListRequest, Filter, 4);
VARD_FIELD(PathListRequest, Capacity, 6);
VARD_FIELD(PathListRequest, PathPrefix, 8);
VARD_FIELD(PathListRequest, Reserved, 178);
static_assert(kPathListOffset + kPathListMaxCapacity == 65526);

static_assert(sizeof(FormulaRequest) == 33120);
VARD_FIELD(FormulaRequest, Row, 4);
VARD_FIELD(FormulaRequest, OutputLimit, 6);
VARD_FIELD(FormulaRequest, Name, 8);
VARD_FIELD(FormulaRequest, Formula, 38);
VARD_FIELD(FormulaRequest, Units, 198);
VARD_FIELD(FormulaRequest, Description, 208);
VARD_FIELD(FormulaRequest, InputText, 352);
VARD_FIELD(FormulaRequest, OutputText, 8544);

static_assert(sizeof(CollectionRequest) == 4452);
VARD_FIELD(CollectionRequest, PathName, 4);
VARD_FIELD(CollectionRequest, Comment, 260);
VARD_FIELD(CollectionRequest, Coll, 4356);
VARD_FIELD(CollectionRequest, VarName, 4358);
VARD_FIELD(CollectionRequest, Name, 4388);
VARD_FIELD(CollectionRequest, Options, 4418);
VARD_FIELD(CollectionRequest, Prefix, 4420);
VARD_FIELD(CollectionRequest, Reserved, 4450);

static_assert(sizeof(DdeRequest) == 708);
VARD_FIELD(DdeRequest, TimeOut, 4);
VARD_FIELD(DdeRequest, App, 8);
VARD_FIELD(DdeRequest, Topic, 38);
VARD_FIELD(DdeRequest, Text, kDdeTextOffset);
static_assert(kDdeTextOffset + kDdeTextMax <= kBlockSize);

#undef VARD_FIELD

// Request length N per operation code: the bytes the library clears and, but
// for GetType, announces in RecordSize. 0 for codes that carry no record and
// for codes that are not in use.
constexpr std::uint32_t RequestLength(std::uint32_t code) {
  switch (code) {
    case kGetType:
      return sizeof(WaveformRequest);
    case kGetDescription:
      return sizeof(ScalarRequest);
    case kDeleteSubTree: case kDeleteVariable:
    case kIsDigitalWaveform: case kIsIntegerWaveform:
      return sizeof(VariableRequest);
    case kLockWaveform: case kGetHorizontal: case kGetVertical:
    case kGetWaveformData: case kUnlockWaveform: case kGetWaveformValue:
    case kGetBlockInfo: case kCreateWaveform: case kOpenWaveform:
    case kWriteHorizontal: case kWriteVertical: case kWriteWaveform:
    case kReadWaveform: case kSetWaveformLength: case kCloseWaveform:
    case kWriteBlockInfo: case kGetWaveformDataType:
      return sizeof(WaveformRequest);
    case kGetString: case kCreateString: case kSetString: case kGetNumber:
    case kGetUnits: case kCreateNumber: case kSetNumber: case kSetDescription:
    case kSetUnits:
      return sizeof(ScalarRequest);
    case kAddFormula: case kDeleteFormula: case kShowFormulaEditor:
    case kExpandTextEx: case kSetFormula:
      return sizeof(FormulaRequest);
    case kWaveformMinMax: case kWaveformFastMinMax:
    case kWaveformFindLocalExtreme: case kWaveformFindLevelCrossing:
    case kWaveformStatistics: case kWaveformHistogram:
    case kWaveformPulseParameters: case kWaveformPeriod: case kWaveformLinFit:
      return sizeof(AnalysisRequest);
    case kCreateCollection: case kAddToCollection: case kCloseCollection:
    case kLoadCollection:
      return sizeof(CollectionRequest);
    case kGetVariablesInPath:
      return sizeof(PathListRequest);
    case kFindFirstVariable: case kFindNextVariable: case kFindVariableClose:
      return sizeof(EnumerationRequest);
    case kStlCrest: case kStlFindSignalLoop: case kStlCrestMethod:
      return sizeof(StlRequest);
    case kDdeCommand: case kDdeRequest:
      return sizeof(DdeRequest);
    default:
      return 0;
  }
}

// The RecordSize a well-formed request of this code carries.
constexpr std::uint32_t AnnouncedRecordSize(std::uint32_t code) {
  return code == kGetType ? kGetTypeRecordSize : RequestLength(code);
}

}  // namespace vard::proto
