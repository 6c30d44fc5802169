#!/usr/bin/env bash
# Creates the Wine prefix once (wineboot -i), headless and bounded in time,
# for the Wine that VM_WINE_ARCH chooses (scripts/wine-env.sh),
# and sets it up for unattended runs. Does nothing when the prefix is ready.
# Safe to call from several processes at once: the first one creates it, the
# others wait.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"

# The main window's font is SimSun (宋体). The prefix has no such font, so
# the Song face of Debian's fonts-arphic-uming, which has Latin letters too,
# stands in for both of its names, in every locale: the English and the
# Chinese program then draw with one font and come out the same size.
# Wine finds the font file through fontconfig.
song_font=/usr/share/fonts/truetype/arphic/uming.ttc
song_family="AR PL UMing CN"

# Bump when the set-up below changes, so that old prefixes are made anew.
stamp="$WINEPREFIX/.vm612k-prefix-2"
[[ -f "$stamp" ]] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock -w 600 9
[[ -f "$stamp" ]] && exit 0

echo "wine: creating prefix $WINEPREFIX ($WINEARCH)" >&2
timeout 30 "$vm_wineserver" -k 2>/dev/null || true
rm -rf "$WINEPREFIX"
export DISPLAY=
if ! timeout 300 "$vm_wine" wineboot -i </dev/null >/dev/null 2>&1; then
    echo "wine: wineboot -i failed or timed out" >&2
    rm -rf "$WINEPREFIX"
    exit 1
fi
# A crashing program ends with a backtrace on its error output; the crash
# dialog would wait for a click that never comes.
timeout 60 "$vm_wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >/dev/null 2>&1
if [[ ! -f $song_font ]]; then
    echo "wine: $song_font missing (Debian package fonts-arphic-uming)" >&2
    exit 1
fi
for name in SimSun 宋体; do
    # The name passes Wine's command line in UTF-8.
    LC_ALL=C.UTF-8 timeout 60 "$vm_wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" \
        /t REG_SZ /d "$song_family" /f </dev/null >/dev/null 2>&1
done
# Let the server write the registry out before anyone uses the prefix.
timeout 60 "$vm_wineserver" -w || true
# user.reg writes 宋体 as \x5b8b\x4f53.
{ grep -qi '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" &&
  grep -qiF '"SimSun"="AR PL UMing CN"' "$WINEPREFIX/user.reg" &&
  grep -qiF '"\x5b8b\x4f53"="AR PL UMing CN"' "$WINEPREFIX/user.reg"; } || {
    echo "wine: prefix set-up incomplete" >&2
    exit 1
}
touch "$stamp"
