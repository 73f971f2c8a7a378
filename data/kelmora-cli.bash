# bash completion for kelmora-cli
_kelmora_cli() {
    local cur prev words cword
    _init_completion || return
    local commands="list extract save import replace add remove rename find unpack pack rebuild register-file-type"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    case $prev in
        -f|--format)
            COMPREPLY=($(compgen -W "bmp jpg tga png" -- "$cur"))
            return ;;
        -o|--output)
            _filedir -d
            return ;;
        --only|--only-dict|--name|--mask|--levels)
            return ;;
        --depth)
            COMPREPLY=($(compgen -W "4 8 16 32" -- "$cur"))
            return ;;
    esac
    if [[ $cur == -* ]]; then
        case ${words[1]} in
            list) COMPREPLY=($(compgen -W "--json --all --help" -- "$cur")) ;;
            extract) COMPREPLY=($(compgen -W "-o --output -f --format --no-alphas --no-overwrite --no-filter --no-brighten --only --only-dict --levels --keep-going -q --quiet --help --png-level -j --jobs" -- "$cur")) ;;
            save) COMPREPLY=($(compgen -W "-f --format --alpha --no-filter --no-brighten --help --png-level" -- "$cur")) ;;
            import|replace) COMPREPLY=($(compgen -W "-o --output --no-filter --no-brighten --no-dither --keep-palette --depth --help" -- "$cur")) ;;
            add) COMPREPLY=($(compgen -W "-o --output --name --mask --depth --levels --allow-duplicate --no-brighten --no-dither --help" -- "$cur")) ;;
            remove) COMPREPLY=($(compgen -W "-o --output --help" -- "$cur")) ;;
            rename) COMPREPLY=($(compgen -W "-o --output --mask --allow-duplicate --help" -- "$cur")) ;;
            find) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
            unpack) COMPREPLY=($(compgen -W "-o --output --help" -- "$cur")) ;;
            pack) COMPREPLY=($(compgen -W "--create --remove --rename --help" -- "$cur")) ;;
            rebuild) COMPREPLY=($(compgen -W "--help" -- "$cur")) ;;
        esac
        return
    fi
    case ${words[1]} in
        list|extract) _filedir '@(txd|img|dir)' ;;
        save|replace|add) _filedir ;;
        remove|rename) _filedir txd ;;
        import) if [[ $cword -eq 2 ]]; then _filedir; else _filedir -d; fi ;;
        find) if [[ $cword -gt 2 ]]; then _filedir; fi ;;
        unpack|pack|rebuild) _filedir ;;
    esac
}
complete -F _kelmora_cli kelmora-cli
