# bash completion for kelmora-cli
_kelmora_cli() {
    local cur prev words cword
    _init_completion || return
    local commands="list extract save import replace add remove rename find unpack pack rebuild convert register-file-type"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    case $prev in
        -f|--format)
            if [[ ${words[1]} == @(import|replace|add) ]]; then
                COMPREPLY=($(compgen -W "DXT1 DXT3 DXT5 8888 888 565 1555 555 4444 L8 A8L8 PAL8 PAL4" -- "$cur"))
            else
                COMPREPLY=($(compgen -W "bmp jpg tga png" -- "$cur"))
            fi
            return ;;
        -o|--output)
            _filedir -d
            return ;;
        --only|--only-dict|--name|--mask|--levels)
            return ;;
        --depth)
            COMPREPLY=($(compgen -W "4 8 16 32" -- "$cur"))
            return ;;
        --to)
            COMPREPLY=($(compgen -W "ps2 d3d8 d3d9 xbox" -- "$cur"))
            return ;;
        --compress)
            COMPREPLY=($(compgen -W "dxt" -- "$cur"))
            return ;;
        --dxt-quality)
            COMPREPLY=($(compgen -W "fast normal best" -- "$cur"))
            return ;;

    esac
    if [[ $cur == -* ]]; then
        case ${words[1]} in
            list) COMPREPLY=($(compgen -W "--json --all --help" -- "$cur")) ;;
            extract) COMPREPLY=($(compgen -W "-o --output -f --format --no-alphas --no-overwrite --no-filter --no-brighten --only --only-dict --levels --keep-going -q --quiet --help --png-level -j --jobs" -- "$cur")) ;;
            save) COMPREPLY=($(compgen -W "-f --format --alpha --no-filter --no-brighten --help --png-level" -- "$cur")) ;;
            import|replace) COMPREPLY=($(compgen -W "-o --output --no-filter --no-brighten --no-dither --keep-palette --depth --format --dxt-quality --help" -- "$cur")) ;;
            add) COMPREPLY=($(compgen -W "-o --output --name --mask --depth --format --dxt-quality --levels --allow-duplicate --no-brighten --no-dither --help" -- "$cur")) ;;
            convert) COMPREPLY=($(compgen -W "-o --output --to --compress --dxt-quality --depth --resize --no-dither --no-filter -q --quiet --help" -- "$cur")) ;;
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
        unpack|pack|rebuild|convert) _filedir ;;
    esac
}
complete -F _kelmora_cli kelmora-cli
