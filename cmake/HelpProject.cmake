# Builds the user guide from the pages in Help/: the Qt help topics and collection
# (Zarn26help.qch, Zarn26help.qhc) and the compiled HTML help (Zarn26Help.chm), from one
# list of topics (Help/topics.txt) and the pages' own titles and keywords.
#
#   cmake -DSRC=<Help sources> -DWORK=<scratch folder> -DOUT=<Help folder beside the
#         program> -DQHELPGENERATOR=<path> [-DCHMCMD=<path>] -P HelpProject.cmake
cmake_minimum_required(VERSION 3.25)
foreach(var SRC WORK OUT QHELPGENERATOR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "HelpProject.cmake: ${var} is not set")
  endif()
endforeach()

set(languages ru en)
set(book_ru "Zarn-2.5/2.6 — справка")
set(book_en "Zarn-2.5/2.6 — help")

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}" "${OUT}")
file(COPY "${SRC}/ru" "${SRC}/en" "${SRC}/style.css" DESTINATION "${WORK}")

# The topics: "level file" lines.
file(STRINGS "${SRC}/topics.txt" lines REGEX "^[0-9]+ ")
set(levels)
set(pages)
foreach(line IN LISTS lines)
  string(REGEX MATCH "^([0-9]+) +([^ ]+)" _ "${line}")
  list(APPEND levels "${CMAKE_MATCH_1}")
  list(APPEND pages "${CMAKE_MATCH_2}")
endforeach()
list(LENGTH pages count)
math(EXPR last "${count} - 1")


function(xml_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# title_<lang>_<i>, keywords_<lang>_<i>, context_<lang>_<i> from each page.
foreach(lang IN LISTS languages)
  foreach(i RANGE ${last})
    list(GET pages ${i} page)
    set(file "${SRC}/${lang}/${page}")
    if(NOT EXISTS "${file}")
      message(FATAL_ERROR "help page missing: ${lang}/${page}")
    endif()
    file(READ "${file}" html)
    if(NOT html MATCHES "<title>([^<]*)</title>")
      message(FATAL_ERROR "help page without a title: ${lang}/${page}")
    endif()
    set(title_${lang}_${i} "${CMAKE_MATCH_1}")
    # The index words, blanks trimmed and escaped for XML and HTML alike.
    set(keywords_${lang}_${i} "")
    if(html MATCHES "<meta name=\"keywords\" content=\"([^\"]*)\"")
      foreach(word IN LISTS CMAKE_MATCH_1)
        string(STRIP "${word}" word)
        if(word)
          xml_escape(word "${word}")
          list(APPEND keywords_${lang}_${i} "${word}")
        endif()
      endforeach()
    endif()
    set(context_${lang}_${i} "")
    if(html MATCHES "<meta name=\"help-context\" content=\"([0-9]+)\"")
      set(context_${lang}_${i} "${CMAKE_MATCH_1}")
    endif()
  endforeach()
endforeach()

# ---- Qt help project: one book per language, each under its own folder.
set(toc "")
set(keywords "")
set(files "        <file>style.css</file>\n")
foreach(lang IN LISTS languages)
  set(depth 0)
  foreach(i RANGE ${last})
    list(GET pages ${i} page)
    list(GET levels ${i} level)
    xml_escape(title "${title_${lang}_${i}}")
    if(level EQUAL 0)
      xml_escape(book "${book_${lang}}")
      string(APPEND toc "      <section title=\"${book}\" ref=\"${lang}/${page}\">\n")
    else()
      string(APPEND toc "        <section title=\"${title}\" ref=\"${lang}/${page}\"/>\n")
    endif()
    string(APPEND files "        <file>${lang}/${page}</file>\n")
    foreach(word IN LISTS keywords_${lang}_${i})
      string(APPEND keywords "        <keyword name=\"${word}\" ref=\"${lang}/${page}\"/>\n")
    endforeach()
    if(context_${lang}_${i})
      string(APPEND keywords
             "        <keyword name=\"${title}\" id=\"context-${context_${lang}_${i}}-${lang}\" ref=\"${lang}/${page}\"/>\n")
    endif()
  endforeach()
  string(APPEND toc "      </section>\n")
endforeach()
file(WRITE "${WORK}/Zarn26help.qhp" "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<QtHelpProject version=\"1.0\">
  <namespace>org.example.zarn26</namespace>
  <virtualFolder>doc</virtualFolder>
  <filterSection>
    <toc>
${toc}    </toc>
    <keywords>
${keywords}    </keywords>
    <files>
${files}    </files>
  </filterSection>
</QtHelpProject>
")
file(WRITE "${WORK}/Zarn26help.qhcp" "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<QHelpCollectionProject version=\"1.0\">
  <docFiles>
    <generate>
      <file>
        <input>Zarn26help.qhp</input>
        <output>Zarn26help.qch</output>
      </file>
    </generate>
    <register>
      <file>Zarn26help.qch</file>
    </register>
  </docFiles>
</QHelpCollectionProject>
")
execute_process(COMMAND "${QHELPGENERATOR}" Zarn26help.qhcp -o Zarn26help.qhc
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0 OR log MATCHES "[Ee]rror")
  message(FATAL_ERROR "qhelpgenerator failed:\n${log}")
endif()
file(COPY "${WORK}/Zarn26help.qch" "${WORK}/Zarn26help.qhc" DESTINATION "${OUT}")

# ---- Compiled HTML help: the same pages and books. Its contents and index files are
# written in code page 1251, as CHM viewers read them for a Russian help file.
if(NOT CHMCMD)
  return()
endif()
set(hhc "<html><head></head><body>\n<ul>\n")
set(hhk "<html><head></head><body>\n<ul>\n")
set(hhpfiles "style.css\n")
foreach(lang IN LISTS languages)
  foreach(i RANGE ${last})
    list(GET pages ${i} page)
    list(GET levels ${i} level)
    xml_escape(title "${title_${lang}_${i}}")
    if(level EQUAL 0)
      xml_escape(book "${book_${lang}}")
      string(APPEND hhc "  <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${book}\">"
                        "<param name=\"Local\" value=\"${lang}/${page}\"></object>\n  <ul>\n")
    else()
      string(APPEND hhc "    <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${title}\">"
                        "<param name=\"Local\" value=\"${lang}/${page}\"></object>\n")
    endif()
    string(APPEND hhpfiles "${lang}/${page}\n")
    foreach(word IN LISTS keywords_${lang}_${i})
      string(APPEND hhk "  <li><object type=\"text/sitemap\"><param name=\"Name\" value=\"${word}\">"
                        "<param name=\"Local\" value=\"${lang}/${page}\"></object>\n")
    endforeach()
  endforeach()
  string(APPEND hhc "  </ul>\n")
endforeach()
string(APPEND hhc "</ul>\n</body></html>\n")
string(APPEND hhk "</ul>\n</body></html>\n")
file(WRITE "${WORK}/utf8.hhc" "${hhc}")
file(WRITE "${WORK}/utf8.hhk" "${hhk}")
foreach(ext hhc hhk)
  execute_process(COMMAND iconv -f UTF-8 -t CP1251 "${WORK}/utf8.${ext}"
                  OUTPUT_FILE "${WORK}/Zarn26Help.${ext}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "iconv could not write Zarn26Help.${ext} in code page 1251")
  endif()
endforeach()
file(WRITE "${WORK}/Zarn26Help.hhp" "[OPTIONS]
Compatibility=1.1 or later
Compiled file=Zarn26Help.chm
Contents file=Zarn26Help.hhc
Index file=Zarn26Help.hhk
Default topic=ru/index.html
Display compile progress=No
Full-text search=Yes
Language=0x419 Russian
Title=Zarn-2.5/2.6

[FILES]
${hhpfiles}")
execute_process(COMMAND "${CHMCMD}" --no-html-scan --verbosity 0 Zarn26Help.hhp
                WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE rc OUTPUT_VARIABLE log ERROR_VARIABLE log)
if(NOT rc EQUAL 0 OR NOT EXISTS "${WORK}/Zarn26Help.chm")
  message(FATAL_ERROR "chmcmd failed:\n${log}")
endif()
file(COPY "${WORK}/Zarn26Help.chm" DESTINATION "${OUT}")
