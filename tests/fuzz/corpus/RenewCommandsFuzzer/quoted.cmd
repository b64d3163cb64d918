Renew "p 1.rdf" "docs\a b.txt"
renew x.rdf ..\Common\x.dll
COPY "C:\Windows\w.txt
