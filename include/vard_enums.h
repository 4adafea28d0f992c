/* The enumerations of VARD32: reply codes, sample and variable types and the
 * option and selector values of every family.
 *
 * This is the one place they are defined. It is plain C with no platform
 * headers, so the public header vard32.h, the data-pool server's portable
 * core and the native tests all include it. The plain exports carry these
 * values in 16-bit codes and arguments; Automation clients see them as
 * 32-bit enumerations. */
#ifndef VARD_ENUMS_H
#define VARD_ENUMS_H

typedef enum vardReturnCode {
  vardOK = 0,
  vardNoSuchObject = 1,
  vardProcNotAllowed = 2,
  vardNoSuchData = 3,
  vardAlreadyExists = 4,
  vardOutOfMemory = 5,
  vardInvalidHandle = 6,
  vardInvalidType = 7,
  vardInvalidName = 8,
  vardBufferToSmall = 11,
  vardSegmentToShort = 101,
  vardNotFound = 102,
  vardInternalError = 103,
  vardNotInitialized = 1000,
  vardException = 1001,
  vardInvalidParameter = 1002
} vardReturnCode;

typedef enum vardDataType { vardDigital = 1, vardInteger = 2, vardFloat = 4 } vardDataType;

typedef enum vardVarType {
  vardWaveform = 1,
  vardNumerical = 2,
  vardString = 3,
  vardUnknown = 4,
  vardDigitalWaveform = 5
} vardVarType;

typedef enum vardWaveformSearch { vardLocalMin = 0, vardLocalMax = 1 } vardWaveformSearch;
typedef enum vardWaveformDirection { vardBackward = 0, vardForward = 1 } vardWaveformDirection;
typedef enum vardWaveformCrossing {
  vardNegative = -1,
  vardPositive = 1,
  vardPositiveOrNegative = 0
} vardWaveformCrossing;
typedef enum vardTaperWindow {
  vardRectangular = 0,
  vardForce = 1,
  vardHanning = 2,
  vardFlattop = 3
} vardTaperWindow;
typedef enum vardFftDirection { vardFftForward = 0, vardFftInverse = -1 } vardFftDirection;
typedef enum vardDdeError {
  vardDdeNoError = 0,
  vardDdeTimeout = 1,
  vardDdeBusy = 2,
  vardDdeNoConversation = 3,
  vardDdeUnknownCommand = 4,
  vardDdeUnknownRequest = 4,
  vardDdeUnknownError = -1,
  vardDdeException = 1001,
  vardDdeInvalidParameter = 1002
} vardDdeError;
typedef enum vardCollOptions { vardForceInteger = 1, vardForceEvent = 2 } vardCollOptions;
typedef enum vardCollError {
  vardCollReturnOK = 0,
  vardCollCorruptedArchive = 300,
  vardCollOutOfHandles = 301,
  vardCollOutOfMemory = 302,
  vardCollFileCreate = 303,
  vardCollFileWrite = 304,
  vardCollFileRead = 305,
  vardCollNoVariableName = 306,
  vardCollIllegalHandle = 307,
  vardCollUnknownObject = 308,
  vardCollNoPrefix = 309,
  vardCollPrefixToLong = 310,
  vardCollNotVardCollFile = 311,
  vardCollOpenFile = 312,
  vardCollUnknownItem = 313,
  vardCollException = 1001,
  vardCollInvalidParameter = 1002
} vardCollError;
typedef enum vardNavigateType {
  vardNavigateWaveform = 1,
  vardNavigateNumerical = 2,
  vardNavigateString = 4,
  vardNavigateDigiWaveform = 8,
  vardNavigateAll = 255
} vardNavigateType;

#endif /* VARD_ENUMS_H */
