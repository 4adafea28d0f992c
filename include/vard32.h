/* VARD32.dll: client interface of the measurement data pool.
 *
 * Every function uses the standard Windows calling convention and is exported
 * under its undecorated name. Functions that return a code return a 16-bit
 * signed vardReturnCode value (or the family's own enumeration); callers must
 * read only 16 bits. */
#ifndef VARD32_H
#define VARD32_H

#include <windows.h>
#include <oleauto.h>

#include "vard_enums.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VARD32_BUILDING
#define VARDAPI __declspec(dllexport) __stdcall
#else
#define VARDAPI __declspec(dllimport) __stdcall
#endif

/* Shared memory helpers. */
HANDLE VARDAPI VardSharedMemAllocate(DWORD Size);
void VARDAPI VardSharedMemFree(HANDLE Mapping);
LPVOID VARDAPI VardSharedMemLock(HANDLE Mapping);
void VARDAPI VardSharedMemUnlock(LPVOID View);

/* Registration with the data manager. */
void VARDAPI InitDataManager(void);
void VARDAPI ExitDataManager(void);

/* Variable queries and deletion. */
short VARDAPI GetType(LPCSTR Name, short* Type);
short VARDAPI GetTypeW(LPCWSTR Name, short* Type);
short VARDAPI GetDescription(LPCSTR Name, LPSTR Description, short BufferSize);
short VARDAPI GetDescriptionW(LPCWSTR Name, LPWSTR Description, short BufferSize);
short VARDAPI DeleteVariable(LPCSTR Name);
short VARDAPI DeleteVariableW(LPCWSTR Name);
short VARDAPI DeleteSubTree(LPCSTR NavigatorPathName);
short VARDAPI DeleteSubTreeW(LPCWSTR NavigatorPathName);
short VARDAPI vardIsDigitalWaveform(LPCSTR VarName);
short VARDAPI vardIsDigitalWaveformW(LPCWSTR VarName);
short VARDAPI vardIsIntegerWaveform(LPCSTR VarName);
short VARDAPI vardIsIntegerWaveformW(LPCWSTR VarName);

/* Numbers and strings. */
short VARDAPI GetString(LPCSTR Name, LPSTR String, short BufferSize);
short VARDAPI GetStringW(LPCWSTR Name, LPWSTR String, short BufferSize);
short VARDAPI CreateString(LPCSTR Name, LPCSTR String, LPCSTR Path);
short VARDAPI CreateStringW(LPCWSTR Name, LPCWSTR String, LPCWSTR Path);
short VARDAPI SetString(LPCSTR Name, LPCSTR String);
short VARDAPI SetStringW(LPCWSTR Name, LPCWSTR String);
short VARDAPI GetNumber(LPCSTR Name, double* Value);
short VARDAPI GetNumberW(LPCWSTR Name, double* Value);
short VARDAPI GetUnits(LPCSTR Name, LPSTR Units);
short VARDAPI GetUnitsW(LPCWSTR Name, LPWSTR Units);
short VARDAPI CreateNumber(LPCSTR Name, double Value, LPCSTR Units, LPCSTR Description, LPCSTR Path);
short VARDAPI CreateNumberW(LPCWSTR Name, double Value, LPCWSTR Units, LPCWSTR Description,
                            LPCWSTR Path);
short VARDAPI SetNumber(LPCSTR Name, double NewValue);
short VARDAPI SetNumberW(LPCWSTR Name, double NewValue);
short VARDAPI SetDescription(LPCSTR Name, LPCSTR Description);
short VARDAPI SetDescriptionW(LPCWSTR Name, LPCWSTR Description);
short VARDAPI SetUnits(LPCSTR Name, LPCSTR NewUnits);
short VARDAPI SetUnitsW(LPCWSTR Name, LPCWSTR NewUnits);

/* Waveform reading. */
short VARDAPI LockWaveform(LPCSTR Name, short* Src);
short VARDAPI LockWaveformW(LPCWSTR Name, short* Src);
short VARDAPI GetHorizontal(short Src, double* X0, double* XStep, short* Record, long* Length,
                            LPSTR XUnits);
short VARDAPI GetHorizontalW(short Src, double* X0, double* XStep, short* Record, long* Length,
                             LPWSTR XUnits);
short VARDAPI GetVertical(short Src, double* Y0, double* YStep, LPSTR Name, LPSTR YUnits);
short VARDAPI GetVerticalW(short Src, double* Y0, double* YStep, LPWSTR Name, LPWSTR YUnits);
short VARDAPI GetWaveformData(short Src, short Block, long FS, long LS, short Reduction,
                              short DataType, void* Data);
short VARDAPI UnlockWaveform(short Src);
short VARDAPI GetWaveformValue(LPCSTR Name, short Block, double XPos, double* YValue);
short VARDAPI GetWaveformValueW(LPCWSTR Name, short Block, double XPos, double* YValue);
short VARDAPI GetBlockInfo(short SourceHandle, short Block, double* TriggerTime, short* Year,
                           short* Month, short* Day);
short VARDAPI GetWaveformDataType(short Waveform, short* Type);

/* Waveform writing. */
short VARDAPI CreateWaveform(LPCSTR WaveName, short Type, LPCSTR Path);
short VARDAPI CreateWaveformW(LPCWSTR WaveName, short Type, LPCWSTR Path);
short VARDAPI OpenWaveform(LPCSTR WaveName, short* Waveform);
short VARDAPI OpenWaveformW(LPCWSTR WaveName, short* Waveform);
short VARDAPI WriteHorizontal(short Waveform, double X0, double XStep, LPCSTR XUnits);
short VARDAPI WriteHorizontalW(short Waveform, double X0, double XStep, LPCWSTR XUnits);
short VARDAPI WriteVertical(short Waveform, double Y0, double YStep, LPCSTR YUnits);
short VARDAPI WriteVerticalW(short Waveform, double Y0, double YStep, LPCWSTR YUnits);
short VARDAPI WriteWaveform(short Waveform, long FirstSample, long LastSample, const void* Data);
short VARDAPI ReadWaveform(short Waveform, long FirstSample, long LastSample, void* Data);
short VARDAPI SetWaveformLength(short Waveform, long NewLength);
short VARDAPI CloseWaveform(short Waveform);
short VARDAPI WriteBlockInfo(short Waveform, double TriggerTime, short Year, short Month,
                             short Day);

/* Variable enumeration. FindFirstVariable returns a find handle (0: none);
 * the caller closes every handle other than 0 with FindVariableClose. */
long VARDAPI FindFirstVariable(short Filter, LPSTR VarName, LPSTR Path);
long VARDAPI FindFirstVariableW(short Filter, LPWSTR VarName, LPWSTR Path);
short VARDAPI FindNextVariable(long FindHandle, LPSTR VarName, LPSTR Path);
short VARDAPI FindNextVariableW(long FindHandle, LPWSTR VarName, LPWSTR Path);
void VARDAPI FindVariableClose(long FindHandle);
short VARDAPI GetVariablesInPath(LPCSTR PathPrefix, short Filter, LPSTR Result, short BufferSize);
short VARDAPI GetVariablesInPathW(LPCWSTR PathPrefix, short Filter, LPWSTR Result,
                                  short BufferSize);

/* Variable Navigator: a modal dialog in which the user picks one variable.
 * Each returns its buffer: the chosen name, or (list forms) the name followed
 * by two NULs; empty when the user cancelled or the library is not
 * initialised. BufferSize is not used. */
LPSTR VARDAPI GetVariableName(HWND WndParent, long Filter, LPSTR NameBuffer);
LPWSTR VARDAPI GetVariableNameW(HWND WndParent, long Filter, LPWSTR NameBuffer);
LPSTR VARDAPI GetMultipleVariableNames(HWND WndParent, long Filter, LPSTR VariableNames,
                                       long BufferSize);
LPWSTR VARDAPI GetMultipleVariableNamesW(HWND WndParent, long Filter, LPWSTR VariableNames,
                                         long BufferSize);

/* Collections: variables saved to a file and loaded back. Codes are
 * vardCollError values. */
short VARDAPI CreateCollection(LPCSTR PathName, LPCSTR Comment, short* Coll);
short VARDAPI CreateCollectionW(LPCWSTR PathName, LPCWSTR Comment, short* Coll);
short VARDAPI AddToCollection(short Coll, LPCSTR VarName, LPCSTR Name, short Options);
short VARDAPI AddToCollectionW(short Coll, LPCWSTR VarName, LPCWSTR Name, short Options);
short VARDAPI CloseCollection(short Coll);
short VARDAPI LoadCollection(LPCSTR PathName, LPCSTR Prefix);
short VARDAPI LoadCollectionW(LPCWSTR PathName, LPCWSTR Prefix);

/* DDE relay: the data-pool server holds the conversation. Codes are
 * vardDdeError values. */
short VARDAPI VARDDDECommand(LPCSTR App, LPCSTR Topic, LPCSTR Cmd, short TimeOut);
short VARDAPI VARDDDECommandW(LPCWSTR App, LPCWSTR Topic, LPCWSTR Cmd, short TimeOut);
short VARDAPI VARDDDERequest(LPCSTR App, LPCSTR Topic, LPCSTR Item, short TimeOut, LPSTR Result,
                             short ResultSize);
short VARDAPI VARDDDERequestW(LPCWSTR App, LPCWSTR Topic, LPCWSTR Item, short TimeOut,
                              LPWSTR Result, short ResultSize);
/* Formulas and text expansion. AddFormula answers the row it filled. */
short VARDAPI AddFormula(LPCSTR Name, LPCSTR Formula, LPCSTR Units, LPCSTR Description);
short VARDAPI AddFormulaW(LPCWSTR Name, LPCWSTR Formula, LPCWSTR Units, LPCWSTR Description);
short VARDAPI SetFormula(short Row, LPCSTR Name, LPCSTR Formula, LPCSTR Units, LPCSTR Description);
short VARDAPI SetFormulaW(short Row, LPCWSTR Name, LPCWSTR Formula, LPCWSTR Units,
                          LPCWSTR Description);
short VARDAPI DeleteFormula(short Row);
short VARDAPI ShowFormulaEditor(void);
LPSTR VARDAPI ExpandTextEx(LPCSTR InputText, LPSTR OutputText, short BufferSize);
LPWSTR VARDAPI ExpandTextExW(LPCWSTR InputText, LPWSTR OutputText, short BufferSize);

/* Waveform analysis, computed by the server over [XBegin, XEnd] of one block
 * (docs/analysis.md). Histogram must hold min(NumberOfBins, 16326) + 2 counts. */
short VARDAPI WaveformMinMax(LPCSTR Name, short BlockNumber, double XBegin, double XEnd,
                             double* Min, double* Max, double* MinPos, double* MaxPos);
short VARDAPI WaveformMinMaxW(LPCWSTR Name, short BlockNumber, double XBegin, double XEnd,
                              double* Min, double* Max, double* MinPos, double* MaxPos);
short VARDAPI WaveformFastMinMax(LPCSTR Name, short Block, double XBegin, double XEnd, double* Min,
                                 double* Max);
short VARDAPI WaveformFastMinMaxW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                  double* Min, double* Max);
short VARDAPI WaveformFindLocalExtreme(LPCSTR Name, short Block, double XBegin, double XEnd,
                                       short Direction, short ExtremeType, double Hysterese,
                                       double* Value, double* Position);
short VARDAPI WaveformFindLocalExtremeW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                        short Direction, short ExtremeType, double Hysterese,
                                        double* Value, double* Position);
short VARDAPI WaveformFindLevelCrossing(LPCSTR Name, short Block, double XBegin, double XEnd,
                                        short Direction, short CrossingType, double Level,
                                        double* Position, short* CrossingTypeFound);
short VARDAPI WaveformFindLevelCrossingW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                         short Direction, short CrossingType, double Level,
                                         double* Position, short* CrossingTypeFound);
short VARDAPI WaveformStatistics(LPCSTR Name, short Block, double XBegin, double XEnd,
                                 double* Mean, double* RMS, double* Sigma, double* AreaUnderCurve,
                                 double* EnergyUnderCurve);
short VARDAPI WaveformStatisticsW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                  double* Mean, double* RMS, double* Sigma,
                                  double* AreaUnderCurve, double* EnergyUnderCurve);
short VARDAPI WaveformHistogram(LPCSTR Name, short Block, double XBegin, double XEnd, double Ytop,
                                double Ybottom, short NumberOfBins, long* Histogram);
short VARDAPI WaveformHistogramW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                 double Ytop, double Ybottom, short NumberOfBins, long* Histogram);
short VARDAPI WaveformPulseParameters(LPCSTR Name, short Block, double XBegin, double XEnd,
                                      double* RiseTime, double* FallTime, double* Duration);
short VARDAPI WaveformPulseParametersW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                                       double* RiseTime, double* FallTime, double* Duration);
short VARDAPI WaveformPeriod(LPCSTR Name, short Block, double XBegin, double XEnd, double* Period);
short VARDAPI WaveformPeriodW(LPCWSTR Name, short Block, double XBegin, double XEnd,
                              double* Period);
short VARDAPI WaveformLinFit(LPCSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                             double* Slope);
short VARDAPI WaveformLinFitW(LPCWSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                              double* Slope);

/* Crest factors and signal loops (docs/analysis.md names every argument).
 * Null out-pointers are skipped; Ignored1 and Ignored2 are never read. */
short VARDAPI Stl_Crest(LPCSTR Name, short ShortArg1, double RealArg1, double* RealResult1,
                        double* RealResult2, double* RealResult3, double* RealResult4,
                        short* ShortResult, long Ignored1, long Ignored2);
short VARDAPI Stl_CrestW(LPCWSTR Name, short ShortArg1, double RealArg1, double* RealResult1,
                         double* RealResult2, double* RealResult3, double* RealResult4,
                         short* ShortResult, long Ignored1, long Ignored2);
short VARDAPI Stl_FindSignalLoop(LPCSTR Name, short ShortArg1, double RealArg1, double RealArg2,
                                 short ShortArg2, double RealArg3, double RealArg4,
                                 double RealArg5, double* RealResult1, double* RealResult2,
                                 short* ShortResult, long Ignored1, long Ignored2);
short VARDAPI Stl_FindSignalLoopW(LPCWSTR Name, short ShortArg1, double RealArg1, double RealArg2,
                                  short ShortArg2, double RealArg3, double RealArg4,
                                  double RealArg5, double* RealResult1, double* RealResult2,
                                  short* ShortResult, long Ignored1, long Ignored2);
short VARDAPI Stl_CrestMethod(LPCSTR Name, short ShortArg1, double RealArg1, short ShortArg2,
                              double* RealResult1, double* RealResult2, long Ignored1,
                              long Ignored2);
short VARDAPI Stl_CrestMethodW(LPCWSTR Name, short ShortArg1, double RealArg1, short ShortArg2,
                               double* RealResult1, double* RealResult2, long Ignored1,
                               long Ignored2);

/* Signal processing over caller buffers; no server involved. */
short VARDAPI BufferComplexFFT(float* RealData, float* ImaginaryData, long Length,
                               short Direction);
short VARDAPI BufferApplyWindow(float* Data, long Length, short WindowType);

/* Automation entries: the forms that Automation clients reach through the
 * type library's module VardAPI (the function Name calls NameTLB). Texts are
 * BSTRs, samples SAFEARRAYs with lower bound 1, codes 32-bit (the plain
 * export's 16-bit code sign-extended). Arrays and BSTRs handed out belong to
 * the caller. InitDataManagerTLB and ExitDataManagerTLB are further names of
 * InitDataManager and ExitDataManager. */
long VARDAPI GetTypeTLB(BSTR Name, long* Type);
long VARDAPI GetDescriptionTLB(BSTR Name, BSTR* Description);
long VARDAPI DeleteVariableTLB(BSTR Name);
long VARDAPI DeleteSubTreeTLB(BSTR NavigatorPathName);
VARIANT_BOOL VARDAPI vardIsDigitalWaveformTLB(BSTR VarName);
VARIANT_BOOL VARDAPI vardIsIntegerWaveformTLB(BSTR VarName);

long VARDAPI GetStringTLB(BSTR Name, BSTR* String);
long VARDAPI CreateStringTLB(BSTR Name, BSTR String, BSTR Path);
long VARDAPI SetStringTLB(BSTR Name, BSTR String);
long VARDAPI GetNumberTLB(BSTR Name, double* Value);
long VARDAPI GetUnitsTLB(BSTR Name, BSTR* Units);
long VARDAPI CreateNumberTLB(BSTR Name, double Value, BSTR Units, BSTR Description, BSTR Path);
long VARDAPI SetNumberTLB(BSTR Name, double NewValue);
long VARDAPI SetDescriptionTLB(BSTR Name, BSTR Description);
long VARDAPI SetUnitsTLB(BSTR Name, BSTR NewUnits);

long VARDAPI LockWaveformTLB(BSTR Name, short* Src);
long VARDAPI GetHorizontalTLB(short Src, double* X0, double* XStep, short* Record, long* Length,
                              BSTR* XUnits);
long VARDAPI GetVerticalTLB(short Src, double* Y0, double* YStep, BSTR* Name, BSTR* YUnits);
long VARDAPI GetWaveformDataShortTLB(short Src, short Block, long FS, long LS, short Reduction,
                                     SAFEARRAY** Data);
long VARDAPI GetWaveformDataFloatTLB(short Src, short Block, long FS, long LS, short Reduction,
                                     SAFEARRAY** Data);
long VARDAPI UnlockWaveformTLB(short Src);
long VARDAPI GetWaveformValueTLB(BSTR Name, short Block, double XPos, double* YValue);
long VARDAPI GetBlockInfoTLB(short SourceHandle, short Block, double* TriggerTime, short* Year,
                             short* Month, short* Day);
long VARDAPI GetWaveformDataTypeTLB(short Waveform, long* Type);

long VARDAPI CreateWaveformTLB(BSTR WaveName, long Type, BSTR Path);
long VARDAPI OpenWaveformTLB(BSTR WaveName, short* Waveform);
long VARDAPI WriteHorizontalTLB(short Waveform, double X0, double XStep, BSTR XUnits);
long VARDAPI WriteVerticalTLB(short Waveform, double Y0, double YStep, BSTR YUnits);
long VARDAPI WriteWaveformShortTLB(short Waveform, long FirstSample, long LastSample,
                                   SAFEARRAY** Data);
long VARDAPI WriteWaveformFloatTLB(short Waveform, long FirstSample, long LastSample,
                                   SAFEARRAY** lpfData);
long VARDAPI ReadWaveformShortTLB(short Waveform, long FirstSample, long LastSample,
                                  SAFEARRAY** Data);
long VARDAPI ReadWaveformFloatTLB(short Waveform, long FirstSample, long LastSample,
                                  SAFEARRAY** Data);
long VARDAPI SetWaveformLengthTLB(short Waveform, long NewLength);
long VARDAPI CloseWaveformTLB(short Waveform);
long VARDAPI WriteBlockInfoTLB(short Waveform, double TriggerTime, short Year, short Month,
                               short Day);

long VARDAPI BufferApplyWindowTLB(SAFEARRAY** Data, long Length, long WindowType);
long VARDAPI BufferComplexFFTTLB(SAFEARRAY** RealData, SAFEARRAY** ImaginaryData, long Length,
                                 long Direction);

long VARDAPI WaveformMinMaxTLB(BSTR Name, short BlockNumber, double XBegin, double XEnd,
                               double* Min, double* Max, double* MinPos, double* MaxPos);
long VARDAPI WaveformFastMinMaxTLB(BSTR Name, short Block, double XBegin, double XEnd, double* Min,
                                   double* Max);
long VARDAPI WaveformFindLocalExtremeTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                         long Direction, long ExtremeType, double Hysterese,
                                         double* Value, double* Position);
long VARDAPI WaveformFindLevelCrossingTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                          long Direction, long CrossingType, double Level,
                                          double* Position, long* CrossingTypeFound);
long VARDAPI WaveformStatisticsTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                   double* Mean, double* RMS, double* Sigma,
                                   double* AreaUnderCurve, double* EnergyUnderCurve);
long VARDAPI WaveformHistogramTLB(BSTR Name, short Block, double XBegin, double XEnd, double Ytop,
                                  double Ybottom, short NumberOfBins, SAFEARRAY** Histogram);
long VARDAPI WaveformPulseParametersTLB(BSTR Name, short Block, double XBegin, double XEnd,
                                        double* RiseTime, double* FallTime, double* Duration);
long VARDAPI WaveformPeriodTLB(BSTR Name, short Block, double XBegin, double XEnd, double* Period);
long VARDAPI WaveformLinFitTLB(BSTR Name, short Block, double XBegin, double XEnd, double* Y0,
                               double* Slope);

long VARDAPI AddFormulaTLB(BSTR Name, BSTR Formula, BSTR Units, BSTR Description);
long VARDAPI SetFormulaTLB(short Row, BSTR Name, BSTR Formula, BSTR Units, BSTR Description);
long VARDAPI DeleteFormulaTLB(short Row);
VARIANT_BOOL VARDAPI ShowFormulaEditorTLB(void);
BSTR VARDAPI ExpandTextExTLB(BSTR InputText);

long VARDAPI CreateCollectionTLB(BSTR PathName, BSTR Comment, short* Coll);
long VARDAPI AddToCollectionTLB(short Coll, BSTR VarName, BSTR Name, long Options);
long VARDAPI CloseCollectionTLB(short Coll);
long VARDAPI LoadCollectionTLB(BSTR PathName, BSTR Prefix);

long VARDAPI VARDDDECommandTLB(BSTR App, BSTR Topic, BSTR Cmd, short TimeOut);
long VARDAPI VARDDDERequestTLB(BSTR App, BSTR Topic, BSTR Item, short TimeOut, BSTR* Result);

/* Enumeration and the Variable Navigator. A find that gives no name hands
 * back two quotation marks ("\"\"") in VarName and Path. WndParent is a
 * window handle in an Automation INT. */
long VARDAPI GetVariablesInPathTLB(BSTR PathPrefix, long Filter, SAFEARRAY** Result);
long VARDAPI FindFirstVariableTLB(long Filter, BSTR* VarName, BSTR* Path);
long VARDAPI FindNextVariableTLB(long FindHandle, BSTR* VarName, BSTR* Path);
void VARDAPI FindVariableCloseTLB(long FindHandle);
BSTR VARDAPI GetVariableNameTLB(int WndParent, long Filter);
long VARDAPI GetMultipleVariableNamesTLB(int WndParent, long Filter, SAFEARRAY** VariableNames);

/* The library's own file version (the high double word: major, minor), and
 * a window's topmost state (only the low 16 bits of OnTop count). Neither
 * needs the server. DllRegisterServer registers the embedded type library. */
DWORD VARDAPI GetVard32Version(void);
void VARDAPI SetAlwaysOnTop(HWND hWnd, long OnTop);

#ifdef __cplusplus
}
#endif

#endif /* VARD32_H */
