# bash completion for ravlen-run: its options, and the settings keys and their
# values as the installed ravlen-run lists them (ravlen-run --list-keys).

_ravlen_run() {
    local runner=$1
    # The argument under the cursor whole: bash would cut "Key=Value" at "=".
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}
    local before=${line%"$cur"}
    before=${before%"${before##*[![:space:]]}"}
    local prev=${before##*[[:space:]]}
    local -a found=()

    case $prev in
        --settings | --only) mapfile -t found < <(compgen -f -- "$cur") ;;
        --undo) mapfile -t found < <(compgen -f -X '!*.[cC][sS][vV]' -- "$cur"; compgen -d -- "$cur") ;;
    esac
    [[ $prev == --settings || $prev == --only || $prev == --undo ]] && compopt -o filenames 2>/dev/null
    if [[ $prev != --settings && $prev != --only && $prev != --undo ]]; then
        if [[ $cur == -* ]]; then
            mapfile -t found < <(compgen -W "--settings --yes --wait-for-card --list --cameras --check-card --only --undo --undo-last --undo-run --runs --help" -- "$cur")
        else
            local key name low high
            local -a keys=()
            while read -r name low high; do
                [[ -n $name ]] || continue
                if [[ $cur == *=* ]]; then
                    key=${cur%%=*}
                    [[ ${key,,} == "${name,,}" ]] || continue
                    if [[ -n $low ]]; then
                        mapfile -t found < <(compgen -W "$(seq "$low" "$high")" -P "$key=" -- "${cur#*=}")
                    elif [[ ${name,,} == *path ]]; then
                        mapfile -t found < <(compgen -d -P "$key=" -- "${cur#*=}")
                        compopt -o filenames 2>/dev/null
                    fi
                    break
                fi
                keys+=("$name=")
            done < <("$runner" --list-keys 2>/dev/null)
            if [[ $cur != *=* ]]; then
                mapfile -t found < <(compgen -W "${keys[*]}" -- "$cur")
                compopt -o nospace 2>/dev/null
            fi
        fi
    fi

    # Readline replaces only the text after the last word-break character.
    local tail=$cur ch
    for ch in = :; do
        [[ $COMP_WORDBREAKS == *"$ch"* ]] && tail=${tail##*"$ch"}
    done
    local cut=$((${#cur} - ${#tail}))
    COMPREPLY=()
    local one
    for one in "${found[@]}"; do COMPREPLY+=("${one:cut}"); done
}
complete -F _ravlen_run ravlen-run
