#Hclass	sigs
#Hversion	1

#DParam 	6
	#real	src`amp
	#real	src`omega
	#real	b`g`k
	#real	c`g`k
	#real	a`a`g`k
	#real	a`b`g`k

#DIncond	1
	#real	err`m	i`y_ic

#DVariable	5
	#real	src`y	b`g`u	a`a`g`u
	#real	err`p	a`b`g`y
	#real	err`y	c`g`u
	#real	b`g`y
	#real	a`a`g`y	a`b`g`u

#Dstate_ind	1
	#real	err`m	i`y

#DRate_ind	1
	#real	i`u	c`g`y

#Edynamic	8
    V0 = P0 * sin(P1 * t)
    V4 = P4 * V0
    V1 = P5 * V4
    V2 = V1 - s0
    R0 = P3 * V2

#Eoutputs	1
    V3 = P2 * V0
