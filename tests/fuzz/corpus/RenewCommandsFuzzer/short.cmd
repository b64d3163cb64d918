Version	5.02	5.03
Copy
Renew a
= ; ="x
