#Hclass	thirds
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
	#real	g`r
	#real	h`r

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
	#real	j[4]`p2.e	h`p.e
	#real	j[4]`p2.f	h`p.f
	#real	j[3]`p2.e	g`p.e
	#real	j[3]`p2.f	g`p.f
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
    V18 = V2 - V10
    V16 = V3 - V11
    V22 = V20 / P8
    V23 = V21 / P9
    V19 = V18 / P10
    V17 = V16 / P11
    V4 = V22
    V5 = V23
    V6 = V19
    V7 = V17
    V12 = V4
    V13 = V5
    V14 = V6
    V15 = V7
