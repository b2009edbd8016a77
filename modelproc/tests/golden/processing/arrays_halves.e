#Hclass	halves
#Hversion	1

#DParam 	12
	#real	s`e[1]
	#real	s`e[2]
	#real	s`e[3]
	#real	s`e[4]
	#real	e`e[1]
	#real	e`e[2]
	#real	e`e[3]
	#real	e`e[4]
	#real	d`r[1]
	#real	d`r[2]
	#real	g`r[1]
	#real	g`r[2]

#DVariable	24
	#real	s[1..4]`p.e[1]	j[1..4]`p1.e[1]
	#real	s[1..4]`p.e[2]	j[1..4]`p1.e[2]
	#real	s[1..4]`p.e[3]	j[1..4]`p1.e[3]
	#real	s[1..4]`p.e[4]	j[1..4]`p1.e[4]
	#real	s[1..4]`p.f[1]	j[1..4]`p1.f[1]
	#real	s[1..4]`p.f[2]	j[1..4]`p1.f[2]
	#real	s[1..4]`p.f[3]	j[1..4]`p1.f[3]
	#real	s[1..4]`p.f[4]	j[1..4]`p1.f[4]
	#real	e[1..4]`p.e[1]	j[1..4]`p3.e[1]
	#real	e[1..4]`p.e[2]	j[1..4]`p3.e[2]
	#real	e[1..4]`p.e[3]	j[1..4]`p3.e[3]
	#real	e[1..4]`p.e[4]	j[1..4]`p3.e[4]
	#real	e[1..4]`p.f[1]	j[1..4]`p3.f[1]
	#real	e[1..4]`p.f[2]	j[1..4]`p3.f[2]
	#real	e[1..4]`p.f[3]	j[1..4]`p3.f[3]
	#real	e[1..4]`p.f[4]	j[1..4]`p3.f[4]
	#real	j[3..4]`p2.e[1]	g[1..2]`p.e[1]
	#real	j[3..4]`p2.e[2]	g[1..2]`p.e[2]
	#real	j[3..4]`p2.f[1]	g[1..2]`p.f[1]
	#real	j[3..4]`p2.f[2]	g[1..2]`p.f[2]
	#real	j[1..2]`p2.e[1]	d[1..2]`p.e[1]
	#real	j[1..2]`p2.e[2]	d[1..2]`p.e[2]
	#real	j[1..2]`p2.f[1]	d[1..2]`p.f[1]
	#real	j[1..2]`p2.f[2]	d[1..2]`p.f[2]

#EInitial	24
    V0 = P0
    V1 = P1
    V2 = P2
    V3 = P3
    V8 = P4
    V9 = P5
    V10 = P6
    V11 = P7
    V20 = V0 - V8
    V21 = V1 - V9
    V16 = V2 - V10
    V17 = V3 - V11
    V22 = V20 / P8
    V23 = V21 / P9
    V18 = V16 / P10
    V19 = V17 / P11
    V4 = V22
    V5 = V23
    V6 = V18
    V7 = V19
    V12 = V4
    V13 = V5
    V14 = V6
    V15 = V7
