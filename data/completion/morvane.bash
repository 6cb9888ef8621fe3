# bash completion for morvane-batch and morvane-printpdf          -*- shell-script -*-
# Installed once per command name, as bash-completion loads a script by the name
# of the command; it needs none of bash-completion's helpers.

# The items of a print settings list and the closed value sets of its keys.
_morvane_print_settings_items='odd even portrait landscape noscale shrink fit color monochrome simplex duplex
duplexlong duplexshort paper= bin= copies= 2up 4up 6up 9up 16up layout= border= banner= hold= priority='
_morvane_print_settings_value() {
    case $1 in
    paper) echo 'A2 A3 A4 A5 A6 letter legal tabloid statement' ;;
    layout) echo 'lrtb lrbt rltb rlbt tblr tbrl btlr btrl' ;;
    border) echo 'none single single-thick double double-thick' ;;
    banner) echo 'standard classified confidential secret topsecret unclassified' ;;
    hold) echo 'night evening day-time weekend second-shift third-shift indefinite' ;;
    esac
}

# Sets _morvane_words and _morvane_cword: COMP_WORDS with the pieces that bash
# splits at "=" joined again, so "--printer=PD" and "paper=A" are one word each.
_morvane_join_words() {
    _morvane_words=()
    _morvane_cword=0
    local i joined=0
    for ((i = 0; i < ${#COMP_WORDS[@]}; i++)); do
        local w=${COMP_WORDS[i]}
        if ((i > 0)) && [[ $w == = || ${COMP_WORDS[i - 1]} == = ]] && ((joined)); then
            _morvane_words[-1]+=$w
        else
            _morvane_words+=("$w")
            joined=0
            [[ $w != -* || $w == *=* ]] || joined=1
            # A value that bash split at "=" (a print settings item) also joins.
            ((i + 1 < ${#COMP_WORDS[@]})) && [[ ${COMP_WORDS[i + 1]} == = ]] && joined=1
        fi
        ((i == COMP_CWORD)) && _morvane_cword=$((${#_morvane_words[@]} - 1))
    done
}

# COMPREPLY from the candidates in $2 (one per line) that begin with $1, cut to
# what bash replaces: the part after the last "=" it split at.
_morvane_reply() {
    local cur=$1 cut=$((${#1} - ${#COMP_WORDS[COMP_CWORD]}))
    [[ ${COMP_WORDS[COMP_CWORD]} == = ]] && cut=${#cur}
    COMPREPLY=()
    local c
    while IFS= read -r c; do
        [[ -n $c && $c == "$cur"* ]] && COMPREPLY+=("${c:cut}")
    done <<<"$2"
    # An item that wants more (paper=, a list going on after ",") takes no blank.
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *[=,] ]] && compopt -o nospace 2>/dev/null
    return 0
}

_morvane_printers() {
    lpstat -e 2>/dev/null
}

# Candidates for a print settings list: the earlier items stay, the last one is completed.
_morvane_print_settings() {
    local cur=$1 head= last=$1
    [[ $cur == *,* ]] && head=${cur%,*}, last=${cur##*,}
    local item
    if [[ $last == *=* ]]; then
        for item in $(_morvane_print_settings_value "${last%%=*}"); do
            echo "$head${last%%=*}=$item"
        done
    else
        for item in $_morvane_print_settings_items; do
            echo "$head$item"
        done
    fi
}

_morvane_files() { # $1: -d for directories only
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen ${1:--f} -- "$2")
}

# Whether option $1 (without "=VALUE") takes a separate value, by the help lines $2.
_morvane_takes_value() {
    [[ $1 == -* && $1 != *=* ]] && grep -q -e "\(^\| \)$1 [A-Z]" -e "^$1, .* [A-Z]" <<<"$2"
}

_morvane_batch() {
    _morvane_join_words
    local cur=${_morvane_words[_morvane_cword]} prev=${_morvane_words[_morvane_cword - 1]} option= value
    # The options and which of them take a value come from the program's own help.
    local help
    help=$("${COMP_WORDS[0]}" --help 2>/dev/null | sed -n 's/^  *\(-[a-zA-Z], \)\{0,1\}\(--[a-z-]*\)\( [A-Z]\)\{0,1\}.*/\1\2\3/p')
    if [[ $cur == --*=* ]]; then
        option=${cur%%=*} value=${cur#*=}
    elif [[ $_morvane_cword -gt 1 ]] && _morvane_takes_value "$prev" "$help"; then
        option=$prev value=$cur
    fi
    # -p NAME and --printer NAME are the same option.
    [[ $option == -? ]] && option=$(sed -n "s/^$option, \(--[a-z-]*\).*/\1/p" <<<"$help")
    if [[ -n $option ]]; then
        local lead=${cur%"$value"} candidates=
        case $option in
        --printer) candidates=$(_morvane_printers) ;;
        --print-settings) candidates=$(_morvane_print_settings "$value") ;;
        --move-printed | --move-failed) _morvane_files -d "$value"; return 0 ;;
        --report) _morvane_files -f "$value"; [[ -z $value ]] && COMPREPLY+=(-); return 0 ;;
        --program) _morvane_files -f "$value"; return 0 ;;
        *) COMPREPLY=(); return 0 ;;
        esac
        _morvane_reply "$cur" "$(sed "s|^|$lead|" <<<"$candidates")"
        return 0
    fi
    if [[ $cur == -* ]]; then
        _morvane_reply "$cur" "$(sed 's/^-[a-zA-Z], //; s/ [A-Z]$//' <<<"$help")"
        return 0
    fi
    # Operands: the directory first, then FILES; with --files only files.
    local i operands=0 files=0
    for ((i = 1; i < _morvane_cword; i++)); do
        case ${_morvane_words[i]} in
        --files) files=1 ;;
        -*) ;;
        *) ((i > 1)) && _morvane_takes_value "${_morvane_words[i - 1]}" "$help" || ((operands++)) ;;
        esac
    done
    if ((operands == 0 && !files)); then
        _morvane_files -d "$cur"
    else
        _morvane_files -f "$cur"
    fi
    return 0
}

_morvane_printpdf() {
    _morvane_join_words
    local cur=${_morvane_words[_morvane_cword]} prev=${_morvane_words[_morvane_cword - 1]}
    case $prev in
    -print-to) _morvane_reply "$cur" "$(_morvane_printers)"; return 0 ;;
    -print-settings) _morvane_reply "$cur" "$(_morvane_print_settings "$cur")"; return 0 ;;
    -job-name) COMPREPLY=(); return 0 ;;
    esac
    if [[ $cur == -* ]]; then
        _morvane_reply "$cur" "$(printf '%s\n' -print-to -print-to-default -print-settings -job-name -check -one-job -batch --help --version)"
        return 0
    fi
    _morvane_files -f "$cur"
    return 0
}

complete -F _morvane_batch morvane-batch
complete -F _morvane_printpdf morvane-printpdf
