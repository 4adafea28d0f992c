// Shows the Formula Editor over a small measurement pool, for the picture
// in docs/ (scripts/formula-editor-shot.sh runs it under Xvfb). It places
// the window at the screen's corner, selects a row, prints the window's size
// ("ready W H") and stays until it is ended.
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>

#include "server/core/formula_table.h"
#include "server/core/pool.h"
#include "server/core/waveform.h"
#include "server/win/formula_editor.h"

using namespace vard::server;

int main() {
  Pool pool;
  {
    auto w = pool.Write();
    const struct {
      const char* name;
      double value;
      const char* units;
    } numbers[] = {{"U_bat", 48.1, "V"}, {"I_bat", 64.8, "A"}, {"T_amb", 21.5, "degC"},
                   {"Speed", 1480, "rpm"}, {"Torque", 18.4, "Nm"}};
    for (const auto& n : numbers) {
      Variable v;
      v.name = n.name, v.value = n.value, v.units = n.units, v.path = "Bench";
      w.Insert(std::move(v));
    }
    std::shared_ptr<const WaveformData> empty;
    WaveformData::Create(vardFloat, &empty);
    WaveformWriter writer(empty);
    float samples[1000];
    for (int i = 0; i < 1000; ++i) samples[i] = static_cast<float>(325.3 * std::sin(i * 0.0628));
    writer.Write(0, 999, samples, sizeof samples);
    Variable wave;
    wave.name = "U_mains", wave.kind = Kind::Waveform, wave.waveform = writer.Publish();
    w.Insert(std::move(wave));
  }
  const formula::Definition rows[] = {
      {"P_bat", "U_bat * I_bat", "W", "battery power"},
      {"P_mech", "2 * pi * Speed / 60 * Torque", "W", "mechanical power"},
      {"Efficiency", "100 * P_mech / P_bat", "%", "mechanical over electrical"},
      {"U_rms", "rms(U_mains)", "V", "mains voltage, rms"},
      {"T_amb_F", "T_amb * 9 / 5 + 32", "degF", "ambient temperature"},
      {"Overheat", "if(T_amb > 40, 1, 0)", "", "1 when too warm"},
      {"Ratio", "Torque / 'Axle load'", "", "waits for the axle load"},
  };
  for (const auto& r : rows) formula::AddFormula(pool, r);
  if (!editor::Show(pool)) return 1;
  const HWND window = FindWindowA(editor::kWindowClass, nullptr);
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
  const HWND list = GetDlgItem(window, editor::kList);
  ListView_SetItemState(list, 1, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  RECT r;
  GetWindowRect(window, &r);
  std::printf("ready %ld %ld\n", r.right - r.left, r.bottom - r.top);
  std::fflush(stdout);
  Sleep(INFINITE);
}
