#Hclass	garray
#Hversion	1

#DParam 	8
	#real	f`e
	#real	d`r
	#real	c`m`i[1]
	#real	c`m`i[2]
	#real	c`m`i[3]
	#real	c`k`c[1]
	#real	c`k`c[2]
	#real	c`k`c[3]

#DIncond	6
	#real	c`v[1..3]`p2.e_indep_state[1]	c`m[1..3]`p.e_indep_state_ic[1]
	#real	c`v[1..3]`p2.e_indep_state[2]	c`m[1..3]`p.e_indep_state_ic[2]
	#real	c`v[1..3]`p2.e_indep_state[3]	c`m[1..3]`p.e_indep_state_ic[3]
	#real	c`s[1..3]`p2.f_indep_state[1]	c`k[1..3]`p.f_indep_state_ic[1]
	#real	c`s[1..3]`p2.f_indep_state[2]	c`k[1..3]`p.f_indep_state_ic[2]
	#real	c`s[1..3]`p2.f_indep_state[3]	c`k[1..3]`p.f_indep_state_ic[3]

#DVariable	20
	#real	f`p.e	c`v[1]`p1.e
	#real	f`p.f	c`v[1]`p1.f
	#real	d`p.e	c`s[3]`p3.e
	#real	d`p.f	c`s[3]`p3.f
	#real	c`v[3]`p1.e	c`s[2]`p3.e
	#real	c`v[3]`p1.f	c`s[2]`p3.f
	#real	c`v[2]`p1.e	c`s[1]`p3.e
	#real	c`v[2]`p1.f	c`s[1]`p3.f
	#real	c`v[1..3]`p2.f[1]	c`m[1..3]`p.f[1]
	#real	c`v[1..3]`p2.f[2]	c`m[1..3]`p.f[2]
	#real	c`v[1..3]`p2.f[3]	c`m[1..3]`p.f[3]
	#real	c`v[1..3]`p3.e[1]	c`s[1..3]`p1.e[1]
	#real	c`v[1..3]`p3.e[2]	c`s[1..3]`p1.e[2]
	#real	c`v[1..3]`p3.e[3]	c`s[1..3]`p1.e[3]
	#real	c`v[1..3]`p3.f[1]	c`s[1..3]`p1.f[1]
	#real	c`v[1..3]`p3.f[2]	c`s[1..3]`p1.f[2]
	#real	c`v[1..3]`p3.f[3]	c`s[1..3]`p1.f[3]
	#real	c`s[1..3]`p2.e[1]	c`k[1..3]`p.e[1]
	#real	c`s[1..3]`p2.e[2]	c`k[1..3]`p.e[2]
	#real	c`s[1..3]`p2.e[3]	c`k[1..3]`p.e[3]

#Dstate_ind	6
	#real	c`v[1..3]`p2.e_indep_state[1]	c`m[1..3]`p.e_indep_state[1]
	#real	c`v[1..3]`p2.e_indep_state[2]	c`m[1..3]`p.e_indep_state[2]
	#real	c`v[1..3]`p2.e_indep_state[3]	c`m[1..3]`p.e_indep_state[3]
	#real	c`s[1..3]`p2.f_indep_state[1]	c`k[1..3]`p.f_indep_state[1]
	#real	c`s[1..3]`p2.f_indep_state[2]	c`k[1..3]`p.f_indep_state[2]
	#real	c`s[1..3]`p2.f_indep_state[3]	c`k[1..3]`p.f_indep_state[3]

#DRate_ind	6
	#real	c`v[1..3]`p2.e[1]	c`m[1..3]`p.e[1]
	#real	c`v[1..3]`p2.e[2]	c`m[1..3]`p.e[2]
	#real	c`v[1..3]`p2.e[3]	c`m[1..3]`p.e[3]
	#real	c`s[1..3]`p2.f[1]	c`k[1..3]`p.f[1]
	#real	c`s[1..3]`p2.f[2]	c`k[1..3]`p.f[2]
	#real	c`s[1..3]`p2.f[3]	c`k[1..3]`p.f[3]

#EInitial	1
    V0 = P0

#Edynamic	13
    V8 = s0 / P2
    V9 = s1 / P3
    V10 = s2 / P4
    V17 = s3 / P5
    V18 = s4 / P6
    V19 = s5 / P7
    R3 = V8 - V9
    R4 = V9 - V10
    V3 = V19 / P1
    R0 = V0 - V17
    R1 = V17 - V18
    R2 = V18 - V19
    R5 = V10 - V3

#Eoutputs	12
    V1 = V8
    V7 = V9
    V5 = V10
    V14 = V8
    V15 = V9
    V16 = V10
    V11 = V17
    V12 = V18
    V13 = V19
    V6 = V17
    V4 = V18
    V2 = V19
