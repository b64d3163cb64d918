Version 5.02 5.03
Copy jom.exe
Renew jom.rdf jom.exe
Change s.ini
