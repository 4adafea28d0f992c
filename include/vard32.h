/* VARD32.dll: client interface of the measurement data pool.
 *
 * Every function uses the standard Windows calling convention and is exported
 * under its undecorated name. Functions that return a code return a 16-bit
 * signed vardReturnCode value (or the family's own enumeration); callers must
 * read only 16 bits. */
#ifndef VARD32_H
#define VARD32_H

#include <windows.h>

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

/* Signal processing over caller buffers; no server involved. */
short VARDAPI BufferComplexFFT(float* RealData, float* ImaginaryData, long Length,
                               short Direction);
short VARDAPI BufferApplyWindow(float* Data, long Length, short WindowType);

#ifdef __cplusplus
}
#endif

#endif /* VARD32_H */
