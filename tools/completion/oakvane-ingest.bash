# bash completion for oakvane-ingest: its options, the preference sets after --set (and the
# other options that name an existing set), folders
# after --card and --check, and files after --report. Needs only bash; works with or without the
# bash-completion package.

_oakvane_ingest_options="--verbose --set --card --camera --watch --plan --report --check --list-sets --show-set
--new-set --from --set-value --select-set --help --help-all --version"

# The preference sets are the plain files of the Main folder of the configuration, each named
# after its set; names starting with "." are the store's temporary files, not sets.
_oakvane_ingest_sets()
{
    local config=${XDG_CONFIG_HOME:-}
    [[ $config == /* ]] || config=$HOME/.config
    local file name
    for file in "$config/Oakvane/Main/"*; do
        name=${file##*/}
        [[ -f $file && $name != .* && $name == "$1"* ]] || continue
        COMPREPLY+=("$(printf '%q' "$name")")
    done
}

_oakvane_ingest()
{
    COMPREPLY=()
    local cur=${COMP_WORDS[COMP_CWORD]} option=${COMP_WORDS[COMP_CWORD-1]}
    # "--set=Na" reaches us as "--set" "=" "Na", or as "--set" "=" right after the sign.
    if [[ $cur == = ]]; then
        cur=
    elif [[ $option == = && COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD-2]}
    fi
    case $option in
    --set | --show-set | --from | --select-set)
        _oakvane_ingest_sets "$cur"
        return
        ;;
    --card | --check)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    --report)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        return
        ;;
    esac
    [[ ${COMP_WORDS[COMP_CWORD]} == = ]] && return
    mapfile -t COMPREPLY < <(compgen -W "$_oakvane_ingest_options" -- "$cur")
}

complete -F _oakvane_ingest oakvane-ingest
