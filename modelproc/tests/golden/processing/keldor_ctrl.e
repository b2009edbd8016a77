#Hclass	ctrl
#Hversion	1

#DParam 	3
	#real	src`amp
	#real	src`omega
	#real	k`k

#DIncond	1
	#real	err`m	int1`y_ic

#DVariable	2
	#real	src`y	err`p
	#real	err`y	k`u

#Dstate_ind	1
	#real	err`m	int1`y

#DRate_ind	1
	#real	k`y	int1`u

#Edynamic	6
    V0 = P0 * sin(P1 * t)
    V1 = V0 - s0
    R0 = P2 * V1
