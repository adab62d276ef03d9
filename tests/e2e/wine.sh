# Wine's loader for a Windows program (sourced by every script that runs one).
#
# Wine runs a 32-bit program with its 32-bit loader (Debian: /usr/lib/wine/wine from wine32:i386, which the `wine`
# command prefers) and a 64-bit one with its 64-bit loader (/usr/lib/wine/wine64), in a 64-bit prefix. A kernel
# without 32-bit support starts neither the 32-bit loader nor, therefore, the `wine` command ("Exec format error");
# the 64-bit loader and a 64-bit prefix work there: wineboot only reports that it cannot set up the prefix's 32-bit
# part (syswow64), and the prefix's notepad and wordpad are 64-bit programs.
#
# After wine_use EXE: $WINE runs programs of EXE's kind (WINE notepad, WINE reg ..., WINE wineboot --init),
# wine_bits is 32 or 64, wine_name the loader's name for reports (wine or wine64), and WINEARCH is set for a
# fresh prefix.

# pe_bits FILE: 32 or 64, from the machine field of the program's PE header; fails for another file.
pe_bits() {
    local offset machine
    offset=$(od -An -t u4 -j 60 -N 4 "$1" 2>/dev/null | tr -d ' ')
    [[ -n $offset ]] || return 1
    machine=$(od -An -t x2 -j $((offset + 4)) -N 2 "$1" 2>/dev/null | tr -d ' ')
    case $machine in
    014c) echo 32 ;;
    8664) echo 64 ;;
    *) return 1 ;;
    esac
}

# wine_loader BITS: sets WINE to Wine's loader for programs of that many bits when it runs here; else fails with the
# reason in wine_why.
wine_loader() {
    local bits=$1 loader out
    wine_why=""
    if ((bits == 32)); then
        loader=/usr/lib/wine/wine
        if [[ ! -e $loader ]]; then
            # Not Debian's layout: the wine command, which is the 32-bit loader where there is one.
            loader=$(command -v wine || true)
            /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
                { wine_why="this machine cannot run 32-bit programs"; return 1; }
        fi
    else
        loader=/usr/lib/wine/wine64
        [[ -e $loader ]] || loader=$(command -v wine64 || true)
    fi
    [[ -n $loader ]] || { wine_why="Wine's $bits-bit loader is not installed"; return 1; }
    if ! out=$("$loader" --version 2>&1); then
        wine_why="Wine's $bits-bit loader does not run here: ${out##*: }"
        [[ $out == *"Exec format error"* ]] && wine_why+=" (the kernel cannot run $bits-bit programs)"
        return 1
    fi
    WINE=$loader
}

# wine_use EXE: chooses the loader for EXE (see above); fails with the reason in wine_why.
wine_use() {
    local tool
    for tool in wineserver Xvfb; do
        command -v "$tool" >/dev/null || { wine_why="$tool missing"; return 1; }
    done
    [[ -f $1 ]] || { wine_why="no program $1"; return 1; }
    wine_bits=$(pe_bits "$1") || { wine_why="$1 is not a Windows program"; return 1; }
    wine_loader "$wine_bits" || return 1
    if ((wine_bits == 64)); then
        wine_name=wine64
        export WINEARCH=win64
    else
        wine_name=wine
    fi
    export WINELOADER=$WINE
    echo "Wine: $wine_name for the $wine_bits-bit $(basename "$1")"
}

# wine_cannot REASON: this script cannot run its Windows program here: skipped (exit 77), and said so.
wine_cannot() {
    echo "SKIP: $*"
    exit 77
}
