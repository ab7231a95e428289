# bash completion for vexq4: the program itself says what may follow
# (vexq4 --complete INDEX WORD...), so that the commands, options, setting
# names and list texts are those of the vexq4 that runs.
_vexq4()
{
    local cur prev words cword
    # Words whole across '=' and ':' (NAME=VALUE, rfc2217://HOST:PORT).
    _init_completion -n =: || return

    local line candidates=() files=0 nospace=0
    while IFS= read -r line; do
        case $line in
            '!files') files=1 ;;
            '!nospace') nospace=1 ;;
            *) candidates+=("$line") ;;
        esac
    done < <("${words[0]}" --complete "$((cword - 1))" "${words[@]:1}" 2>/dev/null)

    # Readline replaces only what follows the last '=' or ':' of the word.
    local head=""
    [[ $cur == *[=:]* ]] && head=${cur%"${cur##*[=:]}"}
    local c
    COMPREPLY=()
    for c in "${candidates[@]}"; do
        c=${c#"$head"}
        [[ $c == *[\ \'\"\\\$\`\(\)\&\;\|\<\>]* ]] && printf -v c '%q' "$c"
        COMPREPLY+=("$c")
    done
    if ((files)); then
        local saved=("${COMPREPLY[@]}")
        cur=${cur#"$head"}
        _filedir
        COMPREPLY=("${saved[@]}" "${COMPREPLY[@]}")
    fi
    if ((nospace)); then
        local w
        for w in "${COMPREPLY[@]}"; do
            [[ $w == *[=/:] ]] && { compopt -o nospace; break; }
        done
    fi
} && complete -F _vexq4 vexq4
